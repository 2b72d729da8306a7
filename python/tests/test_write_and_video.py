"""Files written from Python equal the command's, byte for byte; the writer
refuses misuse; videos read back through the reader."""

import numpy as np
import pytest

import quorvane
from conftest import read_rgb, run_command


def command_output(scene, out, frames, *options):
    result = run_command("morph", str(scene["src_path"]), str(scene["dst_path"]), "--points",
                         str(scene["points_path"]), "--out", str(out), "--frames", str(frames), "--quiet", *options)
    assert result.returncode == 0, result.stderr


@pytest.fixture
def morph(scene):
    return quorvane.Morph(scene["src"], scene["dst"], scene["points"])


class TestFilesEqualTheCommands:
    def test_gif(self, command, scene, morph, tmp_path):
        command_output(scene, tmp_path / "c.gif", 6, "--fps", "12.5", "--loop", "3")
        written = quorvane.write(tmp_path / "p.gif", morph.frames(6), fps=12.5, loop=3)
        assert written == str(tmp_path / "p.gif")
        assert (tmp_path / "p.gif").read_bytes() == (tmp_path / "c.gif").read_bytes()

    @pytest.mark.parametrize("codec", ["dib", "mjpg", "ffv1"])
    def test_avi(self, command, scene, morph, tmp_path, codec):
        command_output(scene, tmp_path / "c.avi", 5, "--codec", codec, "--fps", "24")
        quorvane.write(tmp_path / "p.avi", list(morph.frames(5)), fps=24, codec=codec)
        assert (tmp_path / "p.avi").read_bytes() == (tmp_path / "c.avi").read_bytes()

    def test_stills_numbered_from_first(self, command, scene, morph, tmp_path):
        command_output(scene, tmp_path / "c_%02d.png", 8, "--range", "3:6")
        written = quorvane.write(tmp_path / "p_%02d.png", morph.frames(8, start=3, stop=6), first=3)
        assert written == f"{tmp_path}/p_03.png ... {tmp_path}/p_05.png"
        for k in (3, 4, 5):
            assert (tmp_path / f"p_{k:02d}.png").read_bytes() == (tmp_path / f"c_{k:02d}.png").read_bytes()
        assert not (tmp_path / "p_02.png").exists() and not (tmp_path / "p_06.png").exists()

    def test_generator_frames_are_gathered(self, morph, tmp_path):
        frames = list(morph.frames(3))
        quorvane.write(tmp_path / "a.gif", frames)
        quorvane.write(tmp_path / "b.gif", (f for f in frames))
        assert (tmp_path / "a.gif").read_bytes() == (tmp_path / "b.gif").read_bytes()


class TestWriterMisuse:
    def test_closed_writer(self, morph, tmp_path):
        writer = quorvane.Writer(tmp_path / "a.gif", size=morph.size, frames=1)
        writer.write(morph.frame(0))
        assert writer.close() == str(tmp_path / "a.gif")
        assert writer.closed
        with pytest.raises(ValueError, match="the writer is closed"):
            writer.write(morph.frame(0))
        with pytest.raises(ValueError, match="the writer is closed"):
            writer.close()

    def test_too_many_and_too_few_frames(self, morph, tmp_path):
        writer = quorvane.Writer(tmp_path / "a.gif", size=morph.size, frames=2)
        writer.write(morph.frame(0))
        with pytest.raises(ValueError, match="given 1 of its 2 frames"):
            writer.close()
        assert not (tmp_path / "a.gif").exists()
        writer = quorvane.Writer(tmp_path / "b.gif", size=morph.size, frames=1)
        writer.write(morph.frame(0))
        with pytest.raises(ValueError, match="takes 1 frames, and all were written"):
            writer.write(morph.frame(1))

    def test_failing_block_leaves_no_file(self, morph, tmp_path):
        with pytest.raises(RuntimeError):
            with quorvane.Writer(tmp_path / "a.avi", size=morph.size, frames=2) as writer:
                writer.write(morph.frame(0))
                raise RuntimeError("stop")
        assert list(tmp_path.iterdir()) == []

    @pytest.mark.parametrize(
        "frame, error, words",
        [
            (np.zeros((48, 63, 3), np.uint8), ValueError, "the frame is 63x48; this writer takes 64x48"),
            (np.zeros((48, 64, 4), np.uint8), ValueError, "4 channels"),
            (np.zeros((48, 64, 3), np.float64), TypeError, "dtype float64"),
        ],
    )
    def test_bad_frames(self, tmp_path, frame, error, words):
        writer = quorvane.Writer(tmp_path / "a.gif", size=(64, 48), frames=1)
        with pytest.raises(error, match=words):
            writer.write(frame)
        writer.abandon()
        assert not (tmp_path / "a.gif").exists()

    @pytest.mark.parametrize(
        "name, options, words",
        [
            ("a.gif", {"fps": 101}, "--fps"),
            ("a.gif", {"fps": 0}, "--fps"),
            ("a.avi", {"loop": 2}, "loop applies to .gif output only"),
            ("a.gif", {"codec": "mjpg"}, "--codec applies to .avi output only"),
            ("a.avi", {"codec": "nosuch"}, "nosuch"),
            ("a.avi", {"codec": "ask"}, "chooses on a terminal"),
            ("a.gif", {"quality": 50}, "--quality applies to .avi, .mp4, .webm, .webp and .jpg output only"),
            ("a.png", {}, "no frame number field for 2 frames"),
            ("a.bmp", {}, "bmp"),
            ("missing/a.gif", {}, "cannot write"),
        ],
    )
    def test_bad_options(self, morph, tmp_path, name, options, words):
        with pytest.raises(ValueError, match=words):
            quorvane.write(tmp_path / name, [morph.frame(0), morph.frame(1)], **options)

    def test_no_frames(self, tmp_path):
        with pytest.raises(ValueError, match="at least one frame"):
            quorvane.write(tmp_path / "a.gif", [])


class TestVideoReading:
    def test_info_and_frames_of_a_written_video(self, morph, tmp_path):
        frames = list(morph.frames(4))
        quorvane.write(tmp_path / "v.avi", frames, fps=20, codec="dib")
        info = quorvane.video_info(tmp_path / "v.avi")
        assert info == quorvane.VideoInfo(64, 48, 20.0, 4)
        for k in range(4):
            assert np.array_equal(quorvane.read_video_frame(tmp_path / "v.avi", k), frames[k])

    def test_a_video_frame_as_a_morph_picture(self, scene, morph, tmp_path):
        quorvane.write(tmp_path / "v.avi", [scene["src"], scene["dst"]], codec="dib")
        from_video = quorvane.Morph(f"{tmp_path}/v.avi#1", scene["src"], scene["points"])
        assert np.array_equal(from_video.frame(0), scene["dst"])

    def test_reader_errors(self, morph, tmp_path):
        quorvane.write(tmp_path / "v.avi", [morph.frame(0)], codec="dib")
        with pytest.raises(ValueError, match="the video has frames 0 to 0"):
            quorvane.read_video_frame(tmp_path / "v.avi", 1)
        with pytest.raises(ValueError, match="the video has frames 0 to 0"):
            quorvane.read_video_frame(tmp_path / "v.avi", -1)
        (tmp_path / "x.avi").write_bytes(b"RIFF\0\0\0\0WAVE")
        with pytest.raises(ValueError, match="not a video file FFmpeg knows"):
            quorvane.video_info(tmp_path / "x.avi")
        with pytest.raises(ValueError, match="no such file"):
            quorvane.read_video_frame(tmp_path / "none.avi", 0)
        with pytest.raises(TypeError):
            quorvane.video_info(12)

    def test_stills_read_back(self, morph, tmp_path):
        frames = list(morph.frames(2))
        quorvane.write(tmp_path / "s%d.png", frames)
        assert np.array_equal(read_rgb(tmp_path / "s1.png"), frames[1])
