#!/usr/bin/env python3
"""Select an object in a PNG with brush strokes, through the veldra module.

Replays a stroke script of veldra-paint's format (by default the paint tool's example strokes on its
built-in scene) and writes the mask, an overlay picture and the selection with soft edges:

    ./build/tools/veldra-scene out/scene.png --mask out/object.png
    PYTHONPATH=build/python python3 python/examples/select_object.py out/scene.png \\
        --reference out/object.png --out out/python

Strokes: {"strokes": [{"mode": "add", "radius": 60, "core": 85, "points": [[x, y], ...]}, ...]} with
modes add, subtract, auto, smooth, line ("line_mode") and band ("band", "matting_radius"); values
left out take the library's defaults, points outside the image are moved to its border; an entry
{"undo": true} takes back the stroke before it. --feather widens alpha.png's soft edges.
"""
import argparse
import json
import pathlib
import sys
import time

import numpy as np
from PIL import Image

import veldra

EXAMPLE_STROKES = pathlib.Path(__file__).resolve().parents[2] / "tools/paint/examples/strokes.json"


def replay(session, strokes):
    """Replays veldra-paint strokes on an open session; returns each stroke's seconds per point.

    An entry {"undo": true} puts back the selection from before the latest stroke not yet taken back.
    """
    seconds = []
    before = [] if any(stroke.get("undo") for stroke in strokes) else None  # snapshots, latest last
    for stroke in strokes:
        if stroke.get("undo"):
            if before:
                session.restore(before.pop())
            continue
        if before is not None:
            before.append(session.snapshot())
        points = np.asarray(stroke["points"], dtype=float).reshape(-1, 2)
        points = np.clip(points, 0, [session.width - 1, session.height - 1])
        brush = {k: round(stroke[k]) for k in ("radius", "core", "edge_snap", "smoothing") if k in stroke}
        band = round(stroke.get("band", 10))
        mode = stroke["mode"]
        start = time.perf_counter()
        if mode == "line":
            session.line(points, stroke.get("line_mode", "add"), radius=brush.get("radius", 10),
                         core=brush.get("core", 30))
        elif mode == "band":
            session.band(points, width=band, matting_radius=stroke.get("matting_radius"), **brush)
        else:
            session.stroke(points, mode, band=band, **brush)
        seconds.append((time.perf_counter() - start) / len(points))
    return seconds


def overlay(image, mask):
    """The image with the selection tinted blue, the band magenta and the selection's rim yellow."""
    out = image[..., :3].astype(np.float32)
    for value, tint in ((255, (40, 120, 255)), (128, (255, 60, 200))):
        out[mask == value] = 0.55 * out[mask == value] + 0.45 * np.array(tint)
    selected = np.pad(mask == 255, 2)
    rim = np.zeros_like(selected)
    for dy in range(-2, 3):
        for dx in range(-2, 3):
            rim |= ~np.roll(selected, (dy, dx), axis=(0, 1))
    out[(selected & rim)[2:-2, 2:-2]] = (255, 230, 0)
    return out.round().astype(np.uint8)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("image", help="RGB or RGBA PNG")
    parser.add_argument("--script", default=str(EXAMPLE_STROKES), help="stroke script (JSON)")
    parser.add_argument("--seed-mask", help="grey PNG seeding the selection (above 128: selected)")
    parser.add_argument("--reference", help="grey PNG to compare the result with (IoU)")
    parser.add_argument("--band", type=int, default=0, help="boundary band width of the mask (pixels)")
    parser.add_argument("--feather", type=float, default=0.0, help="alpha.png's edge width on either side (pixels)")
    parser.add_argument("--out", default="out", help="output directory")
    args = parser.parse_args()

    try:
        image = np.asarray(Image.open(args.image).convert("RGB"))
        script = json.loads(pathlib.Path(args.script).read_text())
        strokes = script["strokes"] if isinstance(script, dict) else script
        with veldra.Session(image) as session:
            if args.seed_mask:
                session.seed(np.asarray(Image.open(args.seed_mask).convert("L")))
            seconds = replay(session, strokes)
            mask = session.mask(args.band)
            alpha = session.alpha(args.feather)
    except (OSError, ValueError, TypeError, KeyError) as error:
        sys.exit(f"select_object: error: {error}")

    out = pathlib.Path(args.out)
    out.mkdir(parents=True, exist_ok=True)
    Image.fromarray(mask).save(out / "mask.png")
    Image.fromarray(overlay(image, mask)).save(out / "overlay.png")
    Image.fromarray(alpha).save(out / "alpha.png")
    points = sum(len(s.get("points", [])) for s in strokes)
    selected = int((mask == 255).sum())
    print(f"select_object: {args.image} ({image.shape[1]}x{image.shape[0]}), {len(strokes)} strokes, {points} points")
    print(f"  time per point: median over strokes {1e3 * float(np.median(seconds)):.2f} ms")
    print(f"  selected area: {selected} pixels ({100 * selected / mask.size:.1f}% of the image)")
    if args.reference:
        truth = np.asarray(Image.open(args.reference).convert("L")) > 128
        print(f"  IoU against {args.reference}: {(truth & (mask == 255)).sum() / (truth | (mask == 255)).sum():.4f}")
    print(f"  wrote {out / 'mask.png'}, {out / 'overlay.png'}, {out / 'alpha.png'}")


if __name__ == "__main__":
    main()
