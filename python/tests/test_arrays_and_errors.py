"""Accepted array layouts, and every refused input raising, never crashing."""

import math

import numpy as np
import pytest

import quorvane


def rgba_of(rgb, alpha):
    return np.dstack([rgb, np.full(rgb.shape[:2], alpha, np.uint8)])


class TestLayouts:
    def test_rgba_opaque_equals_rgb(self, scene):
        plain = quorvane.Morph(scene["src"], scene["dst"], scene["points"]).frame(0.5)
        rgba = quorvane.Morph(rgba_of(scene["src"], 255), rgba_of(scene["dst"], 255), scene["points"]).frame(0.5)
        assert np.array_equal(plain, rgba)

    def test_rgba_transparent_shows_the_background(self, scene):
        morph = quorvane.Morph(rgba_of(scene["src"], 0), rgba_of(scene["dst"], 0), scene["points"],
                               background=(10, 200, 30))
        frame = morph.frame(0.0)
        assert np.all(frame == np.array([10, 200, 30], np.uint8))

    def test_half_alpha_mixes_with_the_background(self):
        src = np.zeros((8, 8, 4), np.uint8)
        src[..., 0] = 200
        src[..., 3] = 128
        points = [[3, 3, 3, 3]]
        frame = quorvane.Morph(src, src, points, background=(0, 0, 100)).frame(0.0)
        # (c * a + bg * (255 - a) + 127) / 255 per channel
        assert tuple(frame[4, 4]) == ((200 * 128 + 127) // 255, 0, (100 * 127 + 127) // 255)

    def test_non_contiguous_views_are_copied(self, scene):
        expected = quorvane.Morph(scene["src"][:, ::-1].copy(), scene["dst"], scene["points"]).frame(0.25)
        view = scene["src"][:, ::-1]
        assert not view.flags["C_CONTIGUOUS"]
        assert np.array_equal(quorvane.Morph(view, scene["dst"], scene["points"]).frame(0.25), expected)
        fortran = np.asfortranarray(scene["src"])
        assert np.array_equal(quorvane.Morph(fortran, scene["dst"], scene["points"]).frame(0.0), scene["src"])

    def test_unpickled_arrays(self, scene):
        import pickle

        expected = quorvane.Morph(scene["src"], scene["dst"], scene["points"]).frame(0.5)
        src, dst = pickle.loads(pickle.dumps((scene["src"], scene["dst"])))
        assert np.array_equal(quorvane.Morph(src, dst, scene["points"]).frame(0.5), expected)

    def test_unaligned_points(self, scene):
        # Numbers 4 bytes off their natural alignment, as an array read out
        # of a received buffer can hold them.
        raw = bytearray(4 + scene["points"].nbytes)
        raw[4:] = scene["points"].tobytes()
        unaligned = np.frombuffer(raw, np.float64, offset=4).reshape(scene["points"].shape)
        assert not unaligned.flags["ALIGNED"]
        expected = quorvane.Morph(scene["src"], scene["dst"], scene["points"]).frame(0.5)
        assert np.array_equal(quorvane.Morph(scene["src"], scene["dst"], unaligned).frame(0.5), expected)

    def test_points_as_lists_tuples_and_integer_arrays(self, scene):
        expected = quorvane.Morph(scene["src"], scene["dst"], np.round(scene["points"])).frame(0.5)
        as_list = [[int(round(v)) for v in row] for row in scene["points"]]
        assert np.array_equal(quorvane.Morph(scene["src"], scene["dst"], as_list).frame(0.5), expected)
        as_tuple = tuple(tuple(row) for row in as_list)
        assert np.array_equal(quorvane.Morph(scene["src"], scene["dst"], as_tuple).frame(0.5), expected)
        ints = np.array(as_list, np.int32)
        assert np.array_equal(quorvane.Morph(scene["src"], scene["dst"], ints).frame(0.5), expected)

    def test_paths_and_arrays_give_the_same_frames(self, scene):
        from_arrays = quorvane.Morph(scene["src"], scene["dst"], scene["points"]).frame(0.6)
        from_files = quorvane.Morph(scene["src_path"], scene["dst_path"], scene["points_path"]).frame(0.6)
        assert np.array_equal(from_arrays, from_files)

    def test_output_frame_is_rgb_in_order(self):
        red = np.zeros((6, 6, 3), np.uint8)
        red[..., 0] = 255
        blue = np.zeros((6, 6, 3), np.uint8)
        blue[..., 2] = 255
        morph = quorvane.Morph(red, blue, [[2, 2, 2, 2]])
        assert tuple(morph.frame(0)[0, 0]) == (255, 0, 0)
        assert tuple(morph.frame(1)[5, 5]) == (0, 0, 255)
        frame = morph.frame(0.5)
        assert frame.flags["C_CONTIGUOUS"] and frame.flags["WRITEABLE"]


class TestRefusedInputs:
    @pytest.mark.parametrize(
        "picture, error, words",
        [
            (np.zeros((48, 64, 3), np.float32), TypeError, "dtype float32"),
            (np.zeros((48, 64, 3), np.uint16), TypeError, "dtype uint16"),
            (np.zeros((48, 64), np.uint8), ValueError, "2 dimensions"),
            (np.zeros((48, 64, 2), np.uint8), ValueError, "2 channels"),
            (np.zeros((0, 64, 3), np.uint8), ValueError, "64x0"),
            (np.zeros((2, 16385, 3), np.uint8), ValueError, "16385x2"),
            ([[1, 2, 3]], TypeError, "numpy uint8 array"),
            (42, TypeError, "numpy uint8 array"),
        ],
    )
    def test_bad_pictures(self, scene, picture, error, words):
        with pytest.raises(error, match=words):
            quorvane.Morph(picture, scene["dst"], scene["points"])

    @pytest.mark.parametrize(
        "points, error, words",
        [
            ([[1, 2, 3]], ValueError, r"N x 4"),
            (np.zeros((2, 6)), ValueError, r"\(2, 6\)"),
            (np.zeros(4), ValueError, r"\(4,\)"),
            ([[10, 10, math.nan, 10]], ValueError, "points:1: nan is not a finite number"),
            ([[10, 10, 12, 12], [20, 20, math.inf, 5]], ValueError, "points:2: inf is not a finite number"),
            ([[10, 10, 12, 12, 0]], ValueError, "points:1: weight must be above 0"),
            ([[10, 10, 12, 12], [90, 10, 12, 12]], ValueError, "points:2: source point \\(90, 10\\) lies outside"),
            ([[10, 10, 12, 12], [10, 10, 30, 30]], ValueError, "points:2: source point .* same place"),
            ([["a", "b", "c", "d"]], TypeError, "array of numbers"),
            (None, TypeError, "N x 4 or N x 5 array of numbers, or a points file path"),
        ],
    )
    def test_bad_points(self, scene, points, error, words):
        with pytest.raises(error, match=words):
            quorvane.Morph(scene["src"], scene["dst"], points)

    def test_points_file_errors_name_the_file_and_line(self, scene, tmp_path):
        bad = tmp_path / "bad.txt"
        bad.write_text("10 10 12 12\n1 2 x 4\n")
        with pytest.raises(ValueError, match=r"bad.txt:2: 'x' is not a number"):
            quorvane.Morph(scene["src"], scene["dst"], bad)
        with pytest.raises(ValueError, match="cannot read points file"):
            quorvane.Morph(scene["src"], scene["dst"], tmp_path / "missing.txt")

    def test_unreadable_pictures(self, scene, tmp_path):
        with pytest.raises(ValueError, match="no such file"):
            quorvane.Morph(tmp_path / "none.png", scene["dst"], scene["points"])
        junk = tmp_path / "junk.png"
        junk.write_bytes(b"\x89PNG\r\n\x1a\nnot really")
        with pytest.raises(ValueError, match="junk.png"):
            quorvane.Morph(junk, scene["dst"], scene["points"])

    def test_sizes_must_agree_unless_scaled(self, scene):
        small = scene["dst"][:40, :60].copy()
        with pytest.raises(ValueError, match="src is 64x48, dst is 60x40; give size"):
            quorvane.Morph(scene["src"], small, [[10, 10, 10, 10]])
        assert quorvane.Morph(scene["src"], small, [[10, 10, 10, 10]], size=(64, 48)).size == (64, 48)

    @pytest.mark.parametrize(
        "options, words",
        [
            ({"block": 0}, "block must be 1 to 256"),
            ({"block": 257}, "block must be 1 to 256"),
            ({"background": (0, 0, 256)}, "background must be"),
            ({"background": "red"}, "background must be"),
            ({"key_fade": True}, "key_fade works together with key_color"),
            ({"weights": "heavy"}, "'heavy' is not even, smooth or flat"),
            ({"size": (0, 10)}, "size must be"),
            ({"size": "big"}, "size must be"),
            ({"size": (10, 10, 3)}, "size must be"),
            ({"size": (1, 1)}, "at least 2x2"),
        ],
    )
    def test_bad_options(self, scene, options, words):
        with pytest.raises(ValueError, match=words):
            quorvane.Morph(scene["src"], scene["dst"], scene["points"], **options)

    def test_flat_weights_need_a_point_in_every_triangle(self, scene):
        with pytest.raises(ValueError, match="weights='flat'"):
            quorvane.Morph(scene["src"], scene["dst"], np.zeros((0, 4)), weights="flat")

    def test_bad_times_and_counts(self, scene):
        morph = quorvane.Morph(scene["src"], scene["dst"], scene["points"])
        for t in (-0.01, 1.01, math.nan, math.inf):
            with pytest.raises(ValueError, match="t must be from 0 to 1"):
                morph.frame(t)
        for n in (0, 32768):
            with pytest.raises(ValueError, match="1 to 32767 frames"):
                morph.frames(n)
        with pytest.raises(ValueError, match="not a range"):
            morph.frames(5, start=3, stop=6)
        with pytest.raises(IndexError, match="frames 0 to 4"):
            morph.frame_of(5, 5)
