#!/usr/bin/env python3
"""Per-point cost of veldra.Session.stroke against the same strokes driven from C++.

Both sides replay the same strokes on the same 2400 x 1800 image, seeded from a wobbly blob a few
pixels inside its edge: add strokes of radius 10, 50 and 200 running just inside the edge, a subtract
stroke and a smooth stroke of radius 50. Per point both do the brush box, then Step over a view of
the whole-image edge snap field (Smoothen for the smooth stroke); the C++ side
(build/python/direct_stroke_cost) calls the library directly, the Python side calls stroke() once
per stroke with an (N, 2) array of points, so its figure includes the argument checks, the
interpreter lock's release and the module's own work. Each side runs every round in a process of its
own, reading the same files; rounds alternate which side runs first; every point of every round
counts. Both sides' final masks must be identical. Last, the module's own work alone: stroke() calls
whose points all lie far outside the image, so that no brush event runs.

    PYTHONPATH=build/python python3 bench/python_stroke_cost.py [--build build] [--rounds 4]
"""
import argparse
import pathlib
import subprocess
import sys
import tempfile
import time

import numpy as np

import veldra

WIDTH, HEIGHT, CX, CY = 2400, 1800, 1200.0, 900.0
POINTS_PER_STROKE = 60
STROKES = [("add", 10), ("add", 50), ("add", 200), ("subtract", 50), ("smooth", 50)]


def outline(a):
    return 700 + 60 * np.sin(3 * a) + 30 * np.sin(7 * a + 1) + 8 * np.sin(19 * a + 2)


def distance(x, y):
    return np.hypot(x - CX, y - CY) - outline(np.arctan2(y - CY, x - CX))


def scene():
    y, x = np.mgrid[0:HEIGHT, 0:WIDTH].astype(np.float32)
    cover = np.clip(0.5 - distance(x + 0.5, y + 0.5), 0, 1)[..., None]
    grain = np.random.default_rng(5).normal(0, 8, (HEIGHT, WIDTH, 1))
    image = (np.array([190, 110, 70]) + grain) * cover + (np.array([70, 120, 150]) + grain) * (1 - cover)
    seed = np.where(distance(x + 0.5, y + 0.5) < -4, 255, 0).astype(np.uint8)
    return np.clip(np.rint(image), 0, 255).astype(np.uint8), seed


def stroke_points(mode, radius, start_angle):
    """Points along the edge: radius / 3 inside (outside for subtract, on it for smooth)."""
    offset = {"add": -radius / 3, "subtract": radius / 3, "smooth": 0}[mode]
    points, a = [], start_angle
    for _ in range(POINTS_PER_STROKE):
        r = outline(a) + offset
        points.append((round(CX + r * np.cos(a)), round(CY + r * np.sin(a))))
        a += max(2.0, radius / 10) / r
    return np.array(points)


def replay_in_python(work):
    """The Python side of one round, in a process of its own as the C++ side is: reads the files
    the C++ side reads, writes times.py.txt and mask.py.u8."""
    lines = (work / "strokes.txt").read_text().splitlines()
    width, height = map(int, lines[0].split())
    image = np.fromfile(work / "image.rgba", np.uint8).reshape(height, width, 4)
    times = []
    with veldra.Session(image) as session:
        session.seed(np.fromfile(work / "seed.u8", np.uint8).reshape(height, width))
        for line in lines[1:]:
            mode, radius, core, edge_snap, smoothing, n, *xy = line.split()
            points = np.array(xy, dtype=np.int64).reshape(int(n), 2)
            start = time.perf_counter()
            session.stroke(points, mode, radius=int(radius), core=int(core), edge_snap=int(edge_snap),
                           smoothing=int(smoothing))
            times.append(f"{n} {time.perf_counter() - start:.9f}")
        session.mask().tofile(work / "mask.py.u8")
    (work / "times.py.txt").write_text("\n".join(times) + "\n")


def run_side(command, work, suffix):
    subprocess.run(command, check=True)
    times = [line.split() for line in (work / f"times{suffix}.txt").read_text().splitlines()]
    return [float(t) for _, t in times], np.fromfile(work / f"mask{suffix}.u8", np.uint8)


def module_overhead(image, calls=2000):
    """Seconds per stroke() call of POINTS_PER_STROKE points that reach no pixel."""
    far = np.full((POINTS_PER_STROKE, 2), -10 * WIDTH)
    with veldra.Session(image) as session:
        start = time.perf_counter()
        for _ in range(calls):
            session.stroke(far, radius=50, core=50)
        return (time.perf_counter() - start) / calls


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build", help="CMake build directory")
    parser.add_argument("--rounds", type=int, default=4)
    parser.add_argument("--replay", help=argparse.SUPPRESS)  # the Python side of one round
    args = parser.parse_args()
    if args.replay:
        return replay_in_python(pathlib.Path(args.replay))
    sides = {"direct": ([pathlib.Path(args.build) / "python" / "direct_stroke_cost", None], ""),
             "python": ([sys.executable, __file__, "--replay", None], ".py")}

    image, seed = scene()
    strokes = [stroke_points(mode, radius, 0.9 * k) for k, (mode, radius) in enumerate(STROKES)]
    totals = {"python": np.zeros(len(STROKES)), "direct": np.zeros(len(STROKES))}
    with tempfile.TemporaryDirectory() as tmp:
        work = pathlib.Path(tmp)
        np.dstack([image, np.full(seed.shape, 255, np.uint8)]).tofile(work / "image.rgba")
        seed.tofile(work / "seed.u8")
        lines = [f"{WIDTH} {HEIGHT}"] + [
            f"{mode} {radius} 50 75 100 {len(p)} " + " ".join(f"{x} {y}" for x, y in p)
            for (mode, radius), p in zip(STROKES, strokes)]
        (work / "strokes.txt").write_text("\n".join(lines) + "\n")
        for k in range(args.rounds):
            order = ["direct", "python"] if k % 2 == 0 else ["python", "direct"]
            masks = {}
            for side in order:
                command, suffix = sides[side]
                seconds, masks[side] = run_side([str(c or work) for c in command], work, suffix)
                totals[side] += seconds
            if not np.array_equal(masks["python"], masks["direct"]):
                raise SystemExit("python_stroke_cost: the two sides' masks differ")

    points = args.rounds * POINTS_PER_STROKE
    print(f"{args.rounds} rounds of {POINTS_PER_STROKE} points per stroke, {WIDTH}x{HEIGHT} image; ms per point:")
    print("| stroke | C++ direct | Python stroke() | Python / C++ |")
    print("|---|---|---|---|")
    for i, (mode, radius) in enumerate(STROKES):
        direct, python = 1e3 * totals["direct"][i] / points, 1e3 * totals["python"][i] / points
        print(f"| {mode}, radius {radius} | {direct:.3f} | {python:.3f} | {python / direct:.3f} |")
    direct, python = totals["direct"].sum(), totals["python"].sum()
    print(f"| all points | {1e3 * direct / points / len(STROKES):.3f} | {1e3 * python / points / len(STROKES):.3f} "
          f"| {python / direct:.3f} |")
    print(f"module's own work: {1e6 * module_overhead(image):.1f} us per stroke() call of {POINTS_PER_STROKE} points")


if __name__ == "__main__":
    main()
