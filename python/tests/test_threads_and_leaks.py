"""Frames rendered from several Python threads at once are the frames of one
thread, morphs of different settings do not disturb each other, and long
runs keep memory flat."""

import resource
import threading

import numpy as np

import quorvane


def test_threads_render_the_same_frames(scene):
    morph = quorvane.Morph(scene["src"], scene["dst"], scene["points"], bilinear=True)
    expected = list(morph.frames(24))
    results = [None] * 24

    def render(start):
        for k in range(start, 24, 4):
            results[k] = morph.frame_of(k, 24)

    threads = [threading.Thread(target=render, args=(s,)) for s in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert all(np.array_equal(a, b) for a, b in zip(results, expected))


def test_morphs_of_different_settings_render_side_by_side(scene):
    # The renderer's settings are library-wide; each morph's frames must
    # still come out as if it rendered alone.
    plain = quorvane.Morph(scene["src"], scene["dst"], scene["points"])
    other = quorvane.Morph(scene["src"], scene["dst"], scene["points"][:2], bilinear=True, block=3,
                           background=(255, 0, 0))
    expected = {id(plain): list(plain.frames(12)), id(other): list(other.frames(12))}
    failures = []

    def render(morph):
        for _ in range(5):
            for k, frame in enumerate(morph.frames(12)):
                if not np.array_equal(frame, expected[id(morph)][k]):
                    failures.append(k)

    threads = [threading.Thread(target=render, args=(m,)) for m in (plain, other, plain, other)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert failures == []


def rss_kib() -> int:
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * resource.getpagesize() // 1024


def test_ten_thousand_frames_keep_memory_flat(scene, tmp_path):
    morph = quorvane.Morph(scene["src"][:24, :32].copy(), scene["dst"][:24, :32].copy(), [[10, 10, 12, 12]])
    for frame in morph.frames(500):  # settle allocator pools
        pass
    before = rss_kib()
    for _ in range(10):
        for frame in morph.frames(1000):
            pass
    after_frames = rss_kib()
    # Writers opened and closed, and morphs built and dropped, as often.
    for k in range(300):
        quorvane.write(tmp_path / "a.gif", [frame, frame])
        quorvane.Morph(scene["src"], scene["dst"], scene["points"]).frame(0.5)
        try:
            quorvane.Morph(scene["src"], scene["dst"], [[1e9, 1, 1, 1]])
        except ValueError:
            pass
    after_all = rss_kib()
    # One 32x24 frame is 2.3 KiB: a leak of a frame each time would add 22 MiB.
    assert after_frames - before < 1024, (before, after_frames)
    assert after_all - before < 2048, (before, after_all)
