"""quorvane.face_points on real photographs: the astronaut portrait that ships
with Debian's python3-skimage, a crop of it, and a picture without a face.
Its points are the points of `quorvane points --faces` for the same
pictures, they correspond between the pictures, and Morph takes them."""

import os
import subprocess
import sys
import threading
from pathlib import Path

import numpy as np
import pytest
from PIL import Image

import quorvane
from conftest import read_rgb, run_command

skimage_data = pytest.importorskip("skimage.data", reason="python3-skimage has the sample photographs")

pytestmark = pytest.mark.skipif(not quorvane.face_points_available(),
                                reason="this build has no face landmarks (dlib or its model missing)")

CROP_LEFT = 100  # the crop is columns 100..399, rows 0..299 of the portrait


@pytest.fixture(scope="module")
def faces(tmp_path_factory):
    folder = tmp_path_factory.mktemp("faces")
    astronaut = skimage_data.astronaut()  # 512 x 512 RGB, one face
    cropped = astronaut[0:300, CROP_LEFT:400].copy()
    coffee = skimage_data.coffee()  # a cup, no face
    pictures = {"astronaut": astronaut, "cropped": cropped, "coffee": coffee}
    paths = {}
    for name, picture in pictures.items():
        paths[name] = folder / f"{name}.png"
        Image.fromarray(picture).save(paths[name])
    return {"folder": folder, "arrays": pictures, "paths": paths}


def read_points_text(path) -> np.ndarray:
    rows = [line.split() for line in path.read_text().splitlines() if line and not line.startswith("#")]
    return np.array(rows, dtype=np.float64)


def command_face_points(folder, src, dst, *options) -> np.ndarray:
    out = folder / "command_points.txt"
    result = run_command("points", str(src), str(dst), "--faces", "--out", str(out), *options)
    assert result.returncode == 0, result.stderr
    return read_points_text(out)


def test_points_equal_the_commands(command, faces):
    paths = faces["paths"]
    expected = command_face_points(faces["folder"], paths["astronaut"], paths["cropped"])
    from_paths = quorvane.face_points(paths["astronaut"], str(paths["cropped"]))
    from_arrays = quorvane.face_points(faces["arrays"]["astronaut"], faces["arrays"]["cropped"])
    assert from_paths.dtype == np.float64 and from_paths.shape == (68, 4)
    assert np.array_equal(from_paths, expected)
    assert np.array_equal(from_arrays, expected)


def test_points_at_an_output_size_equal_the_commands(command, faces):
    paths = faces["paths"]
    expected = command_face_points(faces["folder"], paths["astronaut"], paths["cropped"], "--size", "40x30")
    found = quorvane.face_points(paths["astronaut"], paths["cropped"], size=(40, 30))
    assert np.array_equal(found, expected)
    # At 40x30 many of the 68 landmarks share an output pixel: fewer pairs,
    # all on pixels of their own there, so the mesh takes them.
    assert 0 < len(found) < 68
    morph = quorvane.Morph(paths["astronaut"], paths["cropped"], found, size=(40, 30))
    assert morph.frame(0.5).shape == (30, 40, 3)


def test_pairs_correspond_between_the_pictures(faces):
    found = quorvane.face_points(faces["arrays"]["astronaut"], faces["arrays"]["cropped"])
    assert np.array_equal(found, np.round(found)), "whole pixels"
    # The crop moves the face CROP_LEFT pixels left; each landmark follows it.
    shift = found[:, :2] - found[:, 2:]
    assert np.all(np.abs(shift[:, 0] - CROP_LEFT) <= 2), shift[:, 0]
    assert np.all(np.abs(shift[:, 1]) <= 2), shift[:, 1]
    # Both eyes, the nose and the mouth are on the face (measured by hand:
    # the face spans about x 175..275, y 60..170 in the portrait).
    assert np.all((found[:, 0] > 160) & (found[:, 0] < 290) & (found[:, 1] > 50) & (found[:, 1] < 185))


def test_morph_with_face_points_equals_the_commands_face_morph(command, faces, tmp_path):
    paths = faces["paths"]
    src = faces["arrays"]["astronaut"]
    dst = np.asarray(Image.fromarray(faces["arrays"]["cropped"]).resize((512, 512), Image.BILINEAR))
    Image.fromarray(dst).save(tmp_path / "dst.png")
    result = run_command("morph", str(paths["astronaut"]), str(tmp_path / "dst.png"), "--faces", "--out",
                         str(tmp_path / "f_%d.png"), "--frames", "3", "--bilinear", "--quiet")
    assert result.returncode == 0, result.stderr
    morph = quorvane.Morph(src, dst, quorvane.face_points(src, dst), bilinear=True)
    for k, frame in enumerate(morph.frames(3)):
        assert np.array_equal(frame, read_rgb(tmp_path / f"f_{k}.png")), f"frame {k} differs"


def test_own_points_are_kept_clear_of(faces):
    src, dst = faces["arrays"]["astronaut"], faces["arrays"]["cropped"]
    alone = quorvane.face_points(src, dst)
    # One of our own points on the pixel of the first face point: that pair
    # is left out or moved, and our point is not in the result.
    mine = np.array([[alone[0, 0], alone[0, 1], 5.0, 5.0]])
    found = quorvane.face_points(src, dst, points=mine)
    assert not np.any(np.all(found[:, :2] == alone[0, :2], axis=1))
    assert len(found) in (67, 68)
    morph = quorvane.Morph(src, dst, np.vstack([mine, found]), size=(512, 512))
    assert morph.triangle_count > 2 * 68


def test_no_face_names_the_picture(faces):
    paths, arrays = faces["paths"], faces["arrays"]
    with pytest.raises(ValueError, match=r"no face found in 'dst' \(there is one in 'src'\)"):
        quorvane.face_points(arrays["astronaut"], arrays["coffee"])
    coffee = str(paths["coffee"])
    with pytest.raises(ValueError) as error:
        quorvane.face_points(coffee, paths["astronaut"])
    assert str(error.value).startswith(f"no face found in '{coffee}' (there is one in '{paths['astronaut']}')")
    with pytest.raises(ValueError, match=r"no face found in 'src' nor in 'dst'"):
        quorvane.face_points(arrays["coffee"], arrays["coffee"])


def test_bad_arguments_raise(faces, tmp_path):
    astronaut = faces["arrays"]["astronaut"]
    with pytest.raises(TypeError, match="dtype"):
        quorvane.face_points(astronaut.astype(np.float32), astronaut)
    with pytest.raises(ValueError, match="channels"):
        quorvane.face_points(astronaut, astronaut[..., :2])
    with pytest.raises(ValueError, match="size must be"):
        quorvane.face_points(astronaut, astronaut, size=(0, 10))
    with pytest.raises(ValueError, match="N x 4"):
        quorvane.face_points(astronaut, astronaut, points=[[1, 2, 3]])
    with pytest.raises(ValueError, match="not a finite number"):
        quorvane.face_points(astronaut, astronaut, points=[[1, np.nan, 3, 4]])
    with pytest.raises(ValueError, match="missing.png"):
        quorvane.face_points(tmp_path / "missing.png", astronaut)


def test_non_contiguous_and_rgba_arrays(faces):
    astronaut, cropped = faces["arrays"]["astronaut"], faces["arrays"]["cropped"]
    expected = quorvane.face_points(astronaut, cropped)
    # A strided view of a wider picture is copied first.
    wide = np.zeros((512, 1024, 3), np.uint8)
    wide[:, ::2] = astronaut
    assert np.array_equal(quorvane.face_points(wide[:, ::2], cropped), expected)
    # Opaque RGBA is the RGB picture.
    opaque = np.dstack([astronaut, np.full((512, 512), 255, np.uint8)])
    assert np.array_equal(quorvane.face_points(opaque, cropped), expected)


def test_threads_find_the_same_points(faces):
    src, dst = faces["arrays"]["astronaut"], faces["arrays"]["cropped"]
    expected = quorvane.face_points(src, dst)
    results = [None] * 4

    def find(k):
        results[k] = quorvane.face_points(src, dst)

    threads = [threading.Thread(target=find, args=(k,)) for k in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert all(np.array_equal(r, expected) for r in results)


def test_the_face_example_runs(faces, tmp_path):
    example = Path(__file__).resolve().parents[2] / "examples" / "morph_faces.py"
    out = tmp_path / "faces.gif"
    paths = faces["paths"]
    result = subprocess.run([sys.executable, str(example), str(paths["astronaut"]), str(paths["cropped"]), str(out)],
                            capture_output=True, text=True, env=os.environ, check=False)
    assert result.returncode == 0, result.stderr
    with Image.open(out) as gif:
        assert gif.size == (480, 480) and gif.n_frames == 40


def test_repeated_calls_keep_memory_flat(faces):
    from test_threads_and_leaks import rss_kib

    src = faces["arrays"]["cropped"]
    dst = src[:, ::-1].copy()
    for _ in range(3):  # the model is loaded on first use
        quorvane.face_points(src, dst)
    before = rss_kib()
    for _ in range(30):
        quorvane.face_points(src, dst)
    grown = rss_kib() - before
    # Each call copies both 300x300 pictures (about 1 MiB with the
    # detector's copies): keeping them would add 30 MiB.
    assert grown < 4096, grown
