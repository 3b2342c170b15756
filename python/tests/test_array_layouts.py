# Images and seed masks in any memory layout numpy allows (Fortran order, strided views into larger
# buffers, bottom-up rows and reversed channels through negative strides, a fourth channel, bool
# masks) give exactly the result of the contiguous RGB image and uint8 mask.
import numpy as np
import pytest

import veldra
from conftest import seed_mask, synthetic_image

IMAGE = synthetic_image(120, 150)
SEED = seed_mask(120, 150)


def strided(array):
    """The same values as a view taking every second row and third column of a larger buffer."""
    shape = (2 * array.shape[0], 3 * array.shape[1]) + array.shape[2:]
    buffer = np.full(shape, 99, np.uint8)
    buffer[::2, ::3] = array
    return buffer[::2, ::3]


def flipped_storage(array, axes):
    """The same values stored reversed along axes and viewed back through negative strides."""
    return np.flip(np.ascontiguousarray(np.flip(array, axes)), axes)


RGBA = np.dstack([IMAGE, np.random.default_rng(3).integers(0, 256, IMAGE.shape[:2], dtype=np.uint8)])
LAYOUTS = {
    "fortran": (np.asfortranarray(IMAGE), np.asfortranarray(SEED)),
    "strided": (strided(IMAGE), strided(SEED)),
    "bottom-up": (flipped_storage(IMAGE, 0), flipped_storage(SEED, 0)),
    "right-to-left, BGR": (flipped_storage(IMAGE, (1, 2)), flipped_storage(SEED, 1)),
    "RGBA, bool mask": (RGBA, SEED > 128),
    "RGBA strided, bool mask fortran": (strided(RGBA), np.asfortranarray(SEED > 128)),
}


def paint(image, seed):
    with veldra.Session(image) as session:
        session.seed(seed)
        session.stroke([[50, 55], [62, 60], [70, 66]], radius=25, core=60)
        session.stroke([[95, 40], [100, 50]], "subtract", radius=12)
        return session.mask(4), session.edge_snap_field()


REFERENCE_MASK, REFERENCE_FIELD = paint(IMAGE, SEED)


@pytest.mark.parametrize("layout", LAYOUTS)
def test_layout_gives_the_contiguous_result(layout):
    mask, field = paint(*LAYOUTS[layout])
    assert np.array_equal(mask, REFERENCE_MASK)
    assert all(np.array_equal(got, want) for got, want in zip(field, REFERENCE_FIELD))
