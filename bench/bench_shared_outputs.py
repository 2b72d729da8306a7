"""Frames per second of a 100-frame 1920x1080 morph written by the quorvane
command to MP4 (H.264) and WebM (VP9) on one thread and on two, and the
sizes of those files against the same morph as a GIF (compact and library
writer). The demo's pictures and points are the input (quorvane demo
--inputs). The four video jobs take turns within each round, the order
turned by one each round, so that a busy spell of a shared machine falls on
all of them alike; medians of the rounds are reported, with the two-thread
speed-up of each format measured in the same rounds.

    /usr/bin/python3 bench/bench_shared_outputs.py [--cli build/quorvane] [--rounds N] [--no-gif]
"""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

FRAMES = 100
SIZE = "1920x1080"


def run(cli, workdir, out, extra):
    args = [cli, "morph", "demo-from.png", "demo-to.png", "--points", "demo-points.txt", "--size", SIZE,
            "--frames", str(FRAMES), "--out", out, "--quiet"] + extra
    started = time.perf_counter()
    subprocess.run(args, cwd=workdir, check=True)
    return time.perf_counter() - started


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cli", default="build/quorvane")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--no-gif", action="store_true", help="skip the two GIF jobs (the slow part)")
    options = parser.parse_args()
    cli = os.path.abspath(options.cli)

    with tempfile.TemporaryDirectory(prefix="quorvane-bench-") as workdir:
        subprocess.run([cli, "demo", "--inputs", "."], cwd=workdir, check=True, stdout=subprocess.DEVNULL)
        jobs = [(fmt, threads) for fmt in ("mp4", "webm") for threads in (1, 2)]
        times = {job: [] for job in jobs}
        print(f"load average before: {os.getloadavg()}", flush=True)
        for r in range(options.rounds):
            order = jobs[r % len(jobs):] + jobs[:r % len(jobs)]
            for fmt, threads in order:
                seconds = run(cli, workdir, f"morph-{threads}.{fmt}", ["--threads", str(threads)])
                times[(fmt, threads)].append(seconds)
            print(f"round {r + 1}: " + ", ".join(f"{fmt} {t} thread{'s' if t > 1 else ''} {times[(fmt, t)][-1]:.2f} s"
                                                for fmt, t in jobs), flush=True)

        print(f"\n{FRAMES} frames at {SIZE}, median of {options.rounds} rounds:")
        for fmt in ("mp4", "webm"):
            one = statistics.median(times[(fmt, 1)])
            two = statistics.median(times[(fmt, 2)])
            speedups = [a / b for a, b in zip(times[(fmt, 1)], times[(fmt, 2)])]
            print(f"  {fmt:5s} 1 thread {FRAMES / one:6.1f} frames/s ({one:.2f} s), 2 threads {FRAMES / two:6.1f} "
                  f"frames/s ({two:.2f} s); speed-up median {statistics.median(speedups):.2f}x")

        sizes = {f"MP4 (H.264, CRF 23)": "morph-1.mp4", "WebM (VP9, CRF 31)": "morph-1.webm"}
        if not options.no_gif:
            for writer in ("compact", "library"):
                seconds = run(cli, workdir, f"morph-{writer}.gif", ["--gif-writer", writer])
                print(f"  GIF, {writer} writer: {seconds:.1f} s (all cores)")
                sizes[f"GIF, {writer} writer"] = f"morph-{writer}.gif"
        print("\nsizes:")
        smallest = min(os.path.getsize(os.path.join(workdir, name)) for name in sizes.values())
        for label, name in sizes.items():
            size = os.path.getsize(os.path.join(workdir, name))
            print(f"  {label:24s} {size:12,d} bytes  {size / smallest:7.1f}x the smallest")
        print(f"load average after: {os.getloadavg()}")


if __name__ == "__main__":
    sys.exit(main())
