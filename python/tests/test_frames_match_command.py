"""Frames from the module equal the command's frames byte for byte."""

import numpy as np
import pytest
from PIL import Image

import quorvane
from conftest import make_picture, points_for, read_rgb, run_command


def command_frames(tmp_path, src, dst, points, frames, options):
    out = tmp_path / "f_%03d.png"
    result = run_command("morph", str(src), str(dst), "--points", str(points), "--out", str(out),
                         "--frames", str(frames), "--quiet", *options)
    assert result.returncode == 0, result.stderr
    return [read_rgb(tmp_path / f"f_{k:03d}.png") for k in range(frames)]


@pytest.mark.parametrize("size", [(64, 48), (31, 17), (97, 130)])
@pytest.mark.parametrize("bilinear", [False, True])
def test_frames_equal_the_commands(command, tmp_path, size, bilinear):
    width, height = size
    src, dst = make_picture(width, height, 5), make_picture(width, height, 6)
    Image.fromarray(src).save(tmp_path / "a.png")
    Image.fromarray(dst).save(tmp_path / "b.png")
    points = points_for(width, height)
    np.savetxt(tmp_path / "p.txt", points)
    options = ["--bilinear"] if bilinear else []
    expected = command_frames(tmp_path, tmp_path / "a.png", tmp_path / "b.png", tmp_path / "p.txt", 7, options)

    morph = quorvane.Morph(src, dst, points, bilinear=bilinear)
    frames = list(morph.frames(7))
    assert len(frames) == 7
    for k, (mine, theirs) in enumerate(zip(frames, expected)):
        assert mine.shape == (height, width, 3) and mine.dtype == np.uint8
        assert np.array_equal(mine, theirs), f"frame {k} differs"
    if not bilinear:  # nearest sampling gives the pictures themselves at the ends
        assert np.array_equal(frames[0], src) and np.array_equal(frames[-1], dst)


def test_options_and_scaling_equal_the_commands(command, tmp_path, scene):
    options = ["--size", "50x40", "--block", "2", "--background", "203040", "--weights", "smooth"]
    weighted = np.hstack([scene["points"], [[1.0], [2.5], [0.5]]])
    np.savetxt(tmp_path / "w.txt", weighted)
    expected = command_frames(tmp_path, scene["src_path"], scene["dst_path"], tmp_path / "w.txt", 5, options)
    morph = quorvane.Morph(scene["src_path"], str(scene["dst_path"]), tmp_path / "w.txt", size=(50, 40), block=2,
                           background=(0x20, 0x30, 0x40), weights="smooth")
    assert morph.size == (50, 40)
    for k, frame in enumerate(morph.frames(5)):
        assert np.array_equal(frame, expected[k]), f"frame {k} differs"


def test_frame_at_t_equals_the_frame_of_the_sequence(scene):
    morph = quorvane.Morph(scene["src"], scene["dst"], scene["points"], bilinear=True)
    frames = list(morph.frames(9))
    for k in range(9):
        assert np.array_equal(morph.frame(k / 8), frames[k])
    # frame_of(k, n) and a part of the sequence give the same frames.
    assert np.array_equal(morph.frame_of(3, 9), frames[3])
    part = list(morph.frames(9, start=2, stop=5))
    assert len(part) == 3 and all(np.array_equal(a, b) for a, b in zip(part, frames[2:5]))
    # A time between frames is neither neighbour.
    between = morph.frame(0.3)
    assert not np.array_equal(between, morph.frame(0.25)) and not np.array_equal(between, morph.frame(0.375))


def test_frames_iterator_counts_down(scene):
    frames = quorvane.Morph(scene["src"], scene["dst"], scene["points"]).frames(4)
    assert len(frames) == 4
    next(frames)
    assert len(frames) == 3
    assert len(list(frames)) == 3
    with pytest.raises(StopIteration):
        next(frames)
