"""Distributed rendering on a LocalCluster of two worker processes: the same
bytes as one process, a killed worker's range rendered again, a failed
range named at the client."""

import os
import signal
import threading
import time

import numpy as np
import pytest

distributed = pytest.importorskip("distributed")

import quorvane
import quorvane.dask
from conftest import make_picture, points_for


@pytest.fixture(scope="module")
def client():
    cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None,
                                       silence_logs=50)
    with distributed.Client(cluster) as c:
        yield c
    cluster.close()


@pytest.fixture(scope="module")
def inputs(tmp_path_factory):
    folder = tmp_path_factory.mktemp("dask")
    src, dst = make_picture(96, 72, 11), make_picture(96, 72, 12)
    points = points_for(96, 72)
    return folder, src, dst, points


def single_run(path, src, dst, points, frames, **options):
    morph_options = {k: v for k, v in options.items() if k in ("bilinear", "size", "weights")}
    write_options = {k: v for k, v in options.items() if k not in morph_options}
    morph = quorvane.Morph(src, dst, points, **morph_options)
    quorvane.write(path, morph.frames(frames), **write_options)


class TestSameBytesAsOneProcess:
    @pytest.mark.parametrize("chunk", [1, 4, 7, 30])
    def test_gif(self, client, inputs, tmp_path, chunk):
        _, src, dst, points = inputs
        single_run(tmp_path / "one.gif", src, dst, points, 23, fps=15, loop=2, bilinear=True)
        written = quorvane.dask.render(src, dst, points, tmp_path / "many.gif", frames=23, client=client,
                                       chunk=chunk, fps=15, loop=2, bilinear=True)
        assert written == str(tmp_path / "many.gif")
        assert (tmp_path / "many.gif").read_bytes() == (tmp_path / "one.gif").read_bytes()
        assert sorted(p.name for p in tmp_path.iterdir()) == ["many.gif", "one.gif"]

    @pytest.mark.parametrize("codec", ["mjpg", "ffv1"])
    def test_avi(self, client, inputs, tmp_path, codec):
        _, src, dst, points = inputs
        single_run(tmp_path / "one.avi", src, dst, points, 17, codec=codec, fps=24)
        quorvane.dask.render(src, dst, points, tmp_path / "many.avi", frames=17, client=client, chunk=5,
                             codec=codec, fps=24)
        assert (tmp_path / "many.avi").read_bytes() == (tmp_path / "one.avi").read_bytes()

    def test_stills_from_files(self, client, inputs, tmp_path, scene):
        single_run(tmp_path / "one_%02d.png", scene["src"], scene["dst"], scene["points"], 9, size=(40, 30))
        written = quorvane.dask.render(scene["src_path"], scene["dst_path"], scene["points_path"],
                                       tmp_path / "many_%02d.png", frames=9, client=client, chunk=2, size=(40, 30))
        assert written == f"{tmp_path}/many_00.png ... {tmp_path}/many_08.png"
        for k in range(9):
            assert (tmp_path / f"many_{k:02d}.png").read_bytes() == (tmp_path / f"one_{k:02d}.png").read_bytes()
        assert len(list(tmp_path.glob("many_*"))) == 9


class TestFailures:
    def test_a_failed_range_is_named(self, client, inputs, tmp_path):
        _, src, dst, points = inputs
        (tmp_path / "f_05.png").mkdir()  # frame 5's still cannot be written
        with pytest.raises(quorvane.dask.RangeError, match=r"frames 4 to 7: cannot write '.*f_05.png': it is a directory") as caught:
            quorvane.dask.render(src, dst, points, tmp_path / "f_%02d.png", frames=12, client=client, chunk=4)
        assert (caught.value.first, caught.value.end) == (4, 8)
        assert isinstance(caught.value.__cause__, ValueError)

    def test_input_errors_raise_before_any_task(self, client, inputs, tmp_path):
        _, src, dst, _ = inputs
        with pytest.raises(ValueError, match="points:1: source point"):
            quorvane.dask.render(src, dst, [[500, 1, 1, 1]], tmp_path / "a.gif", frames=4, client=client)
        with pytest.raises(ValueError, match="--loop applies to .gif output only|loop applies"):
            quorvane.dask.render(src, dst, [[5, 5, 5, 5]], tmp_path / "a.avi", frames=4, client=client, loop=1)
        with pytest.raises(ValueError, match="chunk must be at least 1"):
            quorvane.dask.render(src, dst, [[5, 5, 5, 5]], tmp_path / "a.gif", frames=4, client=client, chunk=0)
        assert list(tmp_path.iterdir()) == []

    def test_a_killed_worker_is_replaced_and_its_range_rendered_again(self, client, tmp_path):
        # Ranges long enough to be caught rendering: GIF frames are quick to
        # reduce to their palettes now.
        src, dst = make_picture(320, 240, 21), make_picture(320, 240, 22)
        points = points_for(320, 240)
        single_run(tmp_path / "one.gif", src, dst, points, 48, bilinear=True)
        outcome = {}

        def run():
            try:
                outcome["written"] = quorvane.dask.render(src, dst, points, tmp_path / "many.gif", frames=48,
                                                          client=client, chunk=12, bilinear=True)
            except BaseException as error:  # handed to the test's thread
                outcome["error"] = error

        worker = threading.Thread(target=run)
        worker.start()
        killed_key = None
        deadline = time.monotonic() + 60
        while killed_key is None and time.monotonic() < deadline and worker.is_alive():
            executing = client.run(lambda dask_worker: (os.getpid(), [ts.key for ts in dask_worker.state.executing]))
            for pid, keys in executing.values():
                if keys and keys[0].startswith("quorvane-") and not keys[0].endswith("-0"):
                    time.sleep(0.05)
                    os.kill(pid, signal.SIGKILL)
                    killed_key = keys[0]
                    break
            time.sleep(0.02)
        worker.join(120)
        assert killed_key is not None, "no range was seen rendering"
        assert "error" not in outcome, outcome.get("error")
        assert (tmp_path / "many.gif").read_bytes() == (tmp_path / "one.gif").read_bytes()
        # The scheduler started the killed range on a worker twice.
        starts = client.run_on_scheduler(
            lambda dask_scheduler, key=killed_key: sum(1 for t in dask_scheduler.transition_log
                                                       if t[0] == key and t[2] == "processing"))
        assert starts >= 2
