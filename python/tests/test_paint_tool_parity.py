# The module gives veldra-paint's mask, alpha and traced outline bit for bit for the same image, seed
# and stroke script (undo entries included), and its whole-image edge snap field holds exactly what
# each brush box's own computation gives.
import json
import os
import pathlib
import re
import subprocess
import sys

import numpy as np
import pytest
from PIL import Image

import veldra
from conftest import seed_mask, synthetic_image

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "examples"))
from select_object import replay  # noqa: E402

TOOLS = pathlib.Path(os.environ.get("VELDRA_PAINT", "")).parent

# Every kind of stroke; the band stroke turns the regional partition on, the stroke after it is undone.
SCRIPT = [
    {"mode": "add", "radius": 40, "core": 80, "points": [[90, 90], [100, 96], [110, 90]]},
    {"mode": "add", "radius": 25, "core": 40, "edge_snap": 100, "points": [[75, 60], [66, 84], [70, 110]]},
    {"mode": "subtract", "radius": 15, "core": 50, "edge_snap": 90, "points": [[140, 70], [145, 82]]},
    {"mode": "auto", "radius": 20, "core": 60, "smoothing": -40, "points": [[160, 60], [170, 64]]},
    {"mode": "smooth", "radius": 24, "smoothing": 60, "points": [[52, 100], [55, 112]]},
    {"mode": "line", "line_mode": "subtract", "radius": 8, "core": 100, "points": [[80, 140], [120, 150]]},
    {"mode": "line", "line_mode": "auto", "radius": 6, "points": [[20, 20], [30, 25], [45, 22]]},
    {"mode": "band", "band": 8, "matting_radius": 4, "radius": 16, "points": [[100, 80], [104, 90], [100, 100]]},
    {"mode": "add", "radius": 30, "core": 100, "points": [[60, 150], [95, 155]]},
    {"undo": True},
    {"mode": "add", "radius": 12, "core": 70, "band": 6, "points": [[130, 120], [0, 0], [239, 179]]},
]


def write_synthetic(tmp_path):
    Image.fromarray(synthetic_image(180, 240)).save(tmp_path / "image.png")
    Image.fromarray(seed_mask(180, 240)).save(tmp_path / "seed.png")
    (tmp_path / "strokes.json").write_text(json.dumps({"strokes": SCRIPT}))
    return ["--seed-mask", str(tmp_path / "seed.png")]


def write_builtin_scene(tmp_path):
    subprocess.run([TOOLS / "veldra-scene", tmp_path / "image.png", "--scene", "480x360",
                    "--script", tmp_path / "strokes.json"], check=True)
    return []


@pytest.mark.skipif(not os.environ.get("VELDRA_PAINT"), reason="veldra-paint is not built")
@pytest.mark.parametrize("write_inputs, band, feather", [(write_synthetic, 0, 0), (write_synthetic, 6, 2.5),
                                                         (write_builtin_scene, 0, 0)])
def test_read_outs_equal_the_paint_tools(tmp_path, write_inputs, band, feather):
    seed_args = write_inputs(tmp_path)
    subprocess.run([TOOLS / "veldra-paint", "--image", tmp_path / "image.png", "--script", tmp_path / "strokes.json",
                    "--band", str(band), "--feather", str(feather), "--svg", "--out", tmp_path / "tool", *seed_args],
                   check=True, capture_output=True)
    expected = np.asarray(Image.open(tmp_path / "tool" / "mask.png"))
    expected_alpha = np.asarray(Image.open(tmp_path / "tool" / "alpha.png"))
    expected_svg = re.search(r' d="([^"]*)"', (tmp_path / "tool" / "selection.svg").read_text()).group(1)

    image = np.asarray(Image.open(tmp_path / "image.png"))
    with veldra.Session(image) as session:
        if seed_args:
            session.seed(np.asarray(Image.open(tmp_path / "seed.png")))
        replay(session, json.loads((tmp_path / "strokes.json").read_text())["strokes"])
        got = session.mask(band)
        alpha, rings, svg = session.alpha(feather), session.paths(0.25), session.svg_path(tolerance=0.25)
    assert np.count_nonzero(got == 255) > 1000 and np.array_equal(got, expected)
    assert np.count_nonzero((alpha > 0) & (alpha < 255)) > 100 and np.array_equal(alpha, expected_alpha)
    assert svg == expected_svg  # "M x y L x y x y ... Z" per ring, three decimals
    written = [np.array(ring.replace("L", "").split(), float).reshape(-1, 2) for ring in re.findall("M([^Z]*)Z", svg)]
    assert len(rings) == len(written) > 0 and all(r.dtype == np.float32 for r in rings)
    assert all(r.shape == w.shape and np.abs(r - w).max() <= 5e-4 for r, w in zip(rings, written))


def test_block_fields_equal_the_whole_image_field():
    height, width = 300, 90  # taller than one band of rows of the whole-image computation
    image = synthetic_image(height, width)
    with veldra.Session(image) as session:
        field_x, field_y = session.edge_snap_field()
    padded = np.pad(image, ((12, 12), (12, 12), (0, 0)), mode="edge")
    rng = np.random.default_rng(1)
    brushes = [(0, 0, 10), (width - 1, height - 1, 10), (45, 150, 20), (3, 260, 30), (45, 150, 1250), (80, 255, 7)]
    brushes += [(rng.integers(width), rng.integers(height), rng.integers(1, 60)) for _ in range(8)]
    for cx, cy, r in brushes:
        x0, y0 = max(cx - r, 0), max(cy - r, 0)
        x1, y1 = min(cx + r, width - 1) + 1, min(cy + r, height - 1) + 1
        block_x, block_y = veldra.edge_snap(padded[y0:y1 + 24, x0:x1 + 24])
        assert np.array_equal(block_x, field_x[y0:y1, x0:x1]), (cx, cy, r)
        assert np.array_equal(block_y, field_y[y0:y1, x0:x1]), (cx, cy, r)
