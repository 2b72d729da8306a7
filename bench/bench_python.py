"""Frames per second of quorvane.Morph.frames against the quorvane command
and against a morph written in Python with OpenCV (per-triangle warpAffine,
as such morphs are commonly written), at 640x480 and 1920x1080, and on one
thread against two (frames render without the GIL). The sides alternate
within each round; medians of the rounds are reported, with ratios.

    PYTHONPATH=build/python /usr/bin/python3 bench/bench_python.py [--rounds N] [--cli build/quorvane]

--gil measures only the two Morph.frames sides (one Python thread against
two), with more frames a round, and reports their ratio: what releasing the
GIL while rendering gains on this machine. The load average is printed
before and after, since other work on the machine takes cores from either
side.
"""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import threading
import time

import cv2
import numpy as np
from PIL import Image

import quorvane


def picture(width, height, seed):
    rng = np.random.default_rng(seed)
    y, x = np.mgrid[0:height, 0:width]
    out = np.empty((height, width, 3), np.uint8)
    out[..., 0] = x * 255 // (width - 1)
    out[..., 1] = y * 255 // (height - 1)
    out[..., 2] = rng.integers(0, 256, (height, width), dtype=np.uint8)
    return out


def control_points(width, height):
    """A 5 x 4 grid of points, each moved a little, as a face's would be."""
    rng = np.random.default_rng(7)
    rows = []
    for gy in range(1, 5):
        for gx in range(1, 6):
            x, y = width * gx / 6, height * gy / 5
            rows.append([x, y, x + rng.uniform(-0.04, 0.04) * width, y + rng.uniform(-0.04, 0.04) * height])
    return np.array(rows)


class OpenCvMorph:
    """The peer: Delaunay triangles of the points and corners (Subdiv2D), and
    per frame and triangle two warpAffine calls on the bounding rectangles,
    a cross-dissolve and a masked copy."""

    def __init__(self, src, dst, points):
        h, w = src.shape[:2]
        corners = [[0, 0, 0, 0], [w - 1, 0, w - 1, 0], [0, h - 1, 0, h - 1], [w - 1, h - 1, w - 1, h - 1]]
        self.points = np.vstack([points, corners]).astype(np.float32)
        self.src, self.dst = src.astype(np.float32), dst.astype(np.float32)
        subdiv = cv2.Subdiv2D((0, 0, w, h))
        for x, y, _, _ in self.points:
            subdiv.insert((float(x), float(y)))
        index = {(round(float(x), 3), round(float(y), 3)): k for k, (x, y, _, _) in enumerate(self.points)}
        self.triangles = []
        for t in subdiv.getTriangleList():
            key = [(round(float(t[i]), 3), round(float(t[i + 1]), 3)) for i in (0, 2, 4)]
            if all(k in index for k in key):
                self.triangles.append([index[k] for k in key])

    @staticmethod
    def warp(picture, from_tri, to_tri, rect):
        x, y, w, h = rect
        matrix = cv2.getAffineTransform(np.float32(from_tri), np.float32(to_tri - [x, y]))
        return cv2.warpAffine(picture, matrix, (w, h), flags=cv2.INTER_LINEAR, borderMode=cv2.BORDER_REFLECT_101)

    def frame(self, t):
        out = np.zeros_like(self.src)
        now = (1 - t) * self.points[:, :2] + t * self.points[:, 2:]
        for tri in self.triangles:
            a, b, c = self.points[tri, :2], self.points[tri, 2:], now[tri]
            x, y, w, h = cv2.boundingRect(np.float32(c))
            part = (1 - t) * self.warp(self.src, a, c, (x, y, w, h)) + t * self.warp(self.dst, b, c, (x, y, w, h))
            mask = np.zeros((h, w, 3), np.float32)
            cv2.fillConvexPoly(mask, np.int32(c - [x, y]), (1.0, 1.0, 1.0), 16, 0)
            region = out[y:y + h, x:x + w]
            region[:] = region * (1 - mask[:region.shape[0], :region.shape[1]]) + (part * mask)[:region.shape[0], :region.shape[1]]
        return out.astype(np.uint8)


def frames_one_thread(morph, n):
    for _ in morph.frames(n):
        pass


def frames_two_threads(morph, n):
    threads = [threading.Thread(target=lambda s=s: [None for _ in morph.frames(n, s * n // 2, (s + 1) * n // 2)])
               for s in range(2)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()


def load_average():
    one, five, fifteen = os.getloadavg()
    return f"load average {one:.2f} {five:.2f} {fifteen:.2f} on {os.cpu_count()} cores"


def measure_gil(rounds):
    """Morph.frames on one thread against two threads each rendering half the
    frames, alternating which goes first; medians of the rounds."""
    print(f"{'size':>10} {'frames':>6} {'1 thread fps':>13} {'2 threads fps':>14} {'2 / 1':>6} {'cpu/wall 1, 2':>14}")
    for (width, height), n in (((640, 480), 60), ((1920, 1080), 16)):
        src, dst = picture(width, height, 1), picture(width, height, 2)
        morph = quorvane.Morph(src, dst, control_points(width, height), bilinear=True)
        sides = {1: lambda: frames_one_thread(morph, n), 2: lambda: frames_two_threads(morph, n)}
        times = {1: [], 2: []}
        busy = {1: [], 2: []}
        sides[1](), sides[2]()  # warm the per-thread buffers
        for r in range(rounds):
            for threads in ((1, 2) if r % 2 == 0 else (2, 1)):
                start, start_cpu = time.perf_counter(), time.process_time()
                sides[threads]()
                wall = time.perf_counter() - start
                times[threads].append(wall)
                busy[threads].append((time.process_time() - start_cpu) / wall)
        one, two = statistics.median(times[1]), statistics.median(times[2])
        print(f"{width}x{height:<5} {n:6d} {n / one:13.1f} {n / two:14.1f} {one / two:5.2f}x "
              f"{statistics.median(busy[1]):6.2f} {statistics.median(busy[2]):6.2f}")
        sys.stdout.flush()


def python_rate_beside(work):
    """Loop turns per second that this (main) thread makes while `work` runs
    on another thread, and the time `work` took."""
    worker = threading.Thread(target=work)
    turns = 0
    start = time.perf_counter()
    worker.start()
    while worker.is_alive():
        turns += 1
    wall = time.perf_counter() - start
    return turns / wall, wall


def measure_gil_free_time(rounds):
    """How much Python runs on another thread while the module works: loop
    turns per second beside the work against beside a sleep of the same
    length (which frees the GIL), alternating. Near 1 (or the share of a
    core that the loop gets on a busy machine) when the GIL is released;
    near 0 when it is held. Unlike two threads against one, this does not
    need a free core to show."""
    big = quorvane.Morph(picture(3840, 2160, 1), picture(3840, 2160, 2), control_points(3840, 2160), bilinear=True)
    shuffled = np.random.default_rng(3).random(3_000_000).tolist()
    works = {
        # The control: list.sort is one C call that keeps the GIL throughout.
        "sorted() of 3M floats (holds the GIL)": lambda: sorted(shuffled),
        "Morph.frames, 3840x2160 x 4": lambda: frames_one_thread(big, 4),
    }
    try:
        from skimage import data

        if quorvane.face_points_available():
            face, other = data.astronaut(), data.astronaut()[:, ::-1].copy()
            works["face_points, 512x512 pair"] = lambda: quorvane.face_points(face, other)
    except ImportError:
        print("(python3-skimage missing: face_points not measured)")
    print(f"{'Python turns/s on another thread, while':<40} {'working':>12} {'sleeping':>12} {'ratio':>6}")
    for name, work in works.items():
        work()  # load models, warm buffers
        busy, idle = [], []
        for r in range(rounds):
            for side in (("work", "sleep") if r % 2 == 0 else ("sleep", "work")):
                if side == "work":
                    rate, took = python_rate_beside(work)
                    busy.append(rate)
                else:
                    idle.append(python_rate_beside(lambda: time.sleep(took if busy else 0.5))[0])
        working, sleeping = statistics.median(busy), statistics.median(idle)
        print(f"{name:<40} {working:12.0f} {sleeping:12.0f} {working / sleeping:5.2f}")
        sys.stdout.flush()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rounds", type=int, default=None, help="rounds per side (3, or 9 with --gil)")
    parser.add_argument("--cli", default=os.path.join(os.path.dirname(__file__), "..", "build", "quorvane"))
    parser.add_argument("--gil", action="store_true", help="only Morph.frames on one thread against two")
    args = parser.parse_args()
    print(load_average())
    if args.gil:
        measure_gil(args.rounds or 9)
        measure_gil_free_time(args.rounds or 9)
        print(load_average())
        return
    args.rounds = args.rounds or 3
    folder = tempfile.mkdtemp(prefix="quorvane-bench-")
    print(f"{'size':>10} {'side':<34} {'fps':>8} {'vs frames, 1 thread':>20} {'cpu/wall':>9}")
    for (width, height), n in (((640, 480), 30), ((1920, 1080), 10)):
        src, dst = picture(width, height, 1), picture(width, height, 2)
        points = control_points(width, height)
        Image.fromarray(src).save(f"{folder}/src.png")
        Image.fromarray(dst).save(f"{folder}/dst.png")
        np.savetxt(f"{folder}/points.txt", points)
        morph = quorvane.Morph(src, dst, points, bilinear=True)
        peer = OpenCvMorph(src, dst, points)
        peer_n = max(2, n // 5)

        def command(threads):
            subprocess.run([args.cli, "morph", f"{folder}/src.png", f"{folder}/dst.png", "--points",
                            f"{folder}/points.txt", "--out", f"{folder}/out.avi", "--codec", "dib", "--frames",
                            str(n), "--bilinear", "--threads", str(threads), "--quiet"], check=True)

        sides = {
            "Morph.frames, 1 thread": (lambda: frames_one_thread(morph, n), n),
            "Morph.frames, 2 threads": (lambda: frames_two_threads(morph, n), n),
            "command, 1 thread (load + dib AVI)": (lambda: command(1), n),
            "command, 2 threads (load + dib AVI)": (lambda: command(2), n),
            "OpenCV warpAffine peer (Python)": (lambda: [peer.frame(k / (peer_n - 1)) for k in range(peer_n)], peer_n),
        }
        times = {name: [] for name in sides}
        cpu = {name: [] for name in sides}
        for r in range(args.rounds):
            order = list(sides) if r % 2 == 0 else list(reversed(sides))
            for name in order:
                run, count = sides[name]
                start, start_cpu = time.perf_counter(), time.process_time()
                run()
                wall = time.perf_counter() - start
                times[name].append(wall / count)
                cpu[name].append((time.process_time() - start_cpu) / wall)
        base = statistics.median(times["Morph.frames, 1 thread"])
        for name in sides:
            per_frame = statistics.median(times[name])
            # CPU seconds of this process per wall second: near 2 when two
            # threads render at once (the command's work is in a child).
            busy = statistics.median(cpu[name])
            print(f"{width}x{height:<5} {name:<34} {1 / per_frame:8.1f} {base / per_frame:19.2f}x {busy:9.2f}")
        sys.stdout.flush()
    print(load_average())


if __name__ == "__main__":
    main()
