# Every kind of bad input raises the expected exception with one line naming the problem, changes
# nothing, and leaves an open session usable.
import numpy as np
import pytest

import veldra

IMAGE = np.zeros((40, 50, 3), np.uint8)
IMAGE[10:30, 15:35] = 200
SEED = np.zeros((40, 50), np.uint8)
SEED[15:25, 20:30] = 255
P = [[25, 20]]


def snapshot_of_an_earlier_session(image):
    with veldra.Session(image) as earlier:
        return earlier.snapshot()


SAME_SIZE, OTHER_SIZE = snapshot_of_an_earlier_session(IMAGE), snapshot_of_an_earlier_session(IMAGE[:30])


def restore_released(session):
    snapshot = session.snapshot()
    snapshot.release()
    session.restore(snapshot)


# (what, call on an open session, exception, part of the message)
BAD_CALLS = [
    ("image dtype", lambda s: veldra.Session(IMAGE.astype(np.float32)), TypeError, "dtype uint8"),
    ("image channels", lambda s: veldra.Session(IMAGE[..., :2]), ValueError, "(H, W, 3) or (H, W, 4)"),
    ("image too large", lambda s: veldra.Session(np.broadcast_to(IMAGE[:1, :1], (50000, 50000, 3))), ValueError,
     "too large"),
    ("second session", lambda s: veldra.Session(IMAGE), RuntimeError, "another veldra.Session is open"),
    ("mask dtype", lambda s: s.seed(SEED.astype(np.int16)), TypeError, "bool or uint8"),
    ("mask shape", lambda s: s.seed(SEED.T), ValueError, "shape (40, 50)"),
    ("points NaN", lambda s: s.stroke([[10, np.nan]]), ValueError, "finite"),
    ("mode unknown", lambda s: s.stroke(P, "paint"), ValueError, "'add', 'subtract', 'auto' or 'smooth'"),
    ("radius 0", lambda s: s.stroke(P, radius=0), ValueError, "radius must be in 1..1250, got 0"),
    ("radius bool", lambda s: s.line(P, radius=True), TypeError, "radius must be an integer"),
    ("matting_radius", lambda s: s.band(P, matting_radius=float("nan")), ValueError, "matting_radius must be in 1"),
    ("matting_mode overflow", lambda s: s.matting_mode(0, 2**40), ValueError, "y must be in"),
    ("edge_snap block", lambda s: veldra.edge_snap(IMAGE[:24]), ValueError, "at least 25 pixels"),
    ("alpha feather", lambda s: s.alpha(-0.5), ValueError, "feather must be in 0.0..1000.0, got -0.5"),
    ("restore type", lambda s: s.restore(None), TypeError, "snapshot must be a veldra.Snapshot, got NoneType"),
    ("restore released", restore_released, RuntimeError, "this snapshot was released"),
    ("restore earlier session", lambda s: s.restore(SAME_SIZE), RuntimeError, "taken in another veldra.Session"),
    ("restore other image size", lambda s: s.restore(OTHER_SIZE), RuntimeError, "(of a 50x30 image)"),
]


@pytest.fixture
def session():
    with veldra.Session(IMAGE) as s:
        s.seed(SEED)
        yield s


@pytest.mark.parametrize("what, call, error, message", BAD_CALLS, ids=[row[0] for row in BAD_CALLS])
def test_bad_input_is_refused_and_the_session_stays_usable(session, what, call, error, message):
    before = session.mask(4)
    with pytest.raises(error) as raised:
        call(session)
    assert message in str(raised.value) and "\n" not in str(raised.value)
    assert not session.closed and np.array_equal(session.mask(4), before)
    session.stroke([[8, 8]], radius=20, core=100)
    assert session.matting_mode(8, 8) == "inside"
