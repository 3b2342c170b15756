# Every kind of bad input raises the expected exception with one line naming the problem, changes
# nothing, and leaves an open session usable; a closed session refuses every call.
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
    ("image not an array", lambda s: veldra.Session(IMAGE.tolist()), TypeError, "numpy array"),
    ("image dtype", lambda s: veldra.Session(IMAGE.astype(np.float32)), TypeError, "dtype uint8"),
    ("image shape", lambda s: veldra.Session(IMAGE[..., 0]), ValueError, "(H, W, 3) or (H, W, 4)"),
    ("image channels", lambda s: veldra.Session(IMAGE[..., :2]), ValueError, "(H, W, 3) or (H, W, 4)"),
    ("image empty", lambda s: veldra.Session(IMAGE[:, :0]), ValueError, "at least 1 pixels"),
    ("image too large", lambda s: veldra.Session(np.broadcast_to(IMAGE[:1, :1], (50000, 50000, 3))), ValueError,
     "too large"),
    ("second session", lambda s: veldra.Session(IMAGE), RuntimeError, "another veldra.Session is open"),
    ("mask dtype", lambda s: s.seed(SEED.astype(np.int16)), TypeError, "bool or uint8"),
    ("mask shape", lambda s: s.seed(SEED.T), ValueError, "shape (40, 50)"),
    ("points NaN", lambda s: s.stroke([[10, np.nan]]), ValueError, "finite"),
    ("points infinite", lambda s: s.line([[np.inf, 1]]), ValueError, "finite"),
    ("points beyond int", lambda s: s.band([[3e9, 1]]), ValueError, "within 1e9"),
    ("points shape", lambda s: s.stroke([1, 2, 3]), ValueError, "shape (N, 2)"),
    ("points ragged", lambda s: s.stroke([[1, 2], [3]]), TypeError, "(N, 2) array"),
    ("points text", lambda s: s.stroke([["a", "b"]]), TypeError, "numbers"),
    ("mode unknown", lambda s: s.stroke(P, "paint"), ValueError, "'add', 'subtract', 'auto' or 'smooth'"),
    ("line mode smooth", lambda s: s.line(P, "smooth"), ValueError, "'add', 'subtract' or 'auto'"),
    ("mode type", lambda s: s.stroke(P, 0), TypeError, "mode must be a string"),
    ("radius 0", lambda s: s.stroke(P, radius=0), ValueError, "radius must be in 1..1250, got 0"),
    ("radius 1251", lambda s: s.line(P, radius=1251), ValueError, "radius must be in 1..1250"),
    ("radius float", lambda s: s.stroke(P, radius=2.5), TypeError, "radius must be an integer"),
    ("radius bool", lambda s: s.stroke(P, radius=True), TypeError, "radius must be an integer"),
    ("core", lambda s: s.stroke(P, core=101), ValueError, "core must be in 0..100"),
    ("edge_snap", lambda s: s.band(P, edge_snap=-1), ValueError, "edge_snap must be in 0..100"),
    ("smoothing", lambda s: s.stroke(P, smoothing=-101), ValueError, "smoothing must be in -100..100"),
    ("stroke band", lambda s: s.stroke(P, band=1001), ValueError, "band must be in 0..1000"),
    ("band width", lambda s: s.band(P, width=-1), ValueError, "width must be in 0..1000"),
    ("matting_radius", lambda s: s.band(P, matting_radius=float("nan")), ValueError, "matting_radius must be in 1"),
    ("matting_radius type", lambda s: s.band(P, matting_radius="4"), TypeError, "matting_radius must be a number"),
    ("mask band", lambda s: s.mask(-1), ValueError, "band must be in 0..1000"),
    ("matting_mode type", lambda s: s.matting_mode("1", 2), TypeError, "x must be an integer"),
    ("matting_mode overflow", lambda s: s.matting_mode(0, 2**40), ValueError, "y must be in"),
    ("edge_snap block", lambda s: veldra.edge_snap(IMAGE[:24]), ValueError, "at least 25 pixels"),
    ("alpha feather", lambda s: s.alpha(-0.5), ValueError, "feather must be in 0.0..1000.0, got -0.5"),
    ("alpha feather type", lambda s: s.alpha("1"), TypeError, "feather must be a number"),
    ("paths tolerance", lambda s: s.paths(float("nan")), ValueError, "tolerance must be in 0.0..1000.0"),
    ("svg_path tolerance", lambda s: s.svg_path(tolerance=1001), ValueError, "tolerance must be in 0.0..1000.0"),
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


CLOSED_CALLS = [
    lambda s: s.seed(SEED), lambda s: s.clear(), lambda s: s.stroke(P), lambda s: s.line(P), lambda s: s.band(P),
    lambda s: s.mask(), lambda s: s.matting_mode(1, 1), lambda s: s.edge_snap_field(), lambda s: s.alpha(),
    lambda s: s.paths(), lambda s: s.svg_path(), lambda s: s.snapshot(), lambda s: s.restore(SAME_SIZE),
]


@pytest.mark.parametrize("call", CLOSED_CALLS)
def test_a_closed_session_refuses_every_call(session, call):
    session.close()
    with pytest.raises(RuntimeError, match="^this veldra.Session is closed$"):
        call(session)
    session.close()
    with veldra.Session(IMAGE) as again:  # the library is free for the next session
        assert again.mask().max() == 0
