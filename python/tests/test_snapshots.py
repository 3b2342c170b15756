# A restored snapshot reads out exactly as the selection did when it was taken, also after further
# strokes and with the matting band on, and stays valid; collected snapshots give their memory back.
import os

import numpy as np

import veldra
from conftest import seed_mask, synthetic_image


def read_outs(session):
    return session.mask(4), session.alpha(1.5), session.svg_path()


def test_restore_gives_back_the_selection_after_further_strokes():
    with veldra.Session(synthetic_image(120, 150)) as session:
        session.seed(seed_mask(120, 150))
        session.band([[55, 60], [60, 75]], width=6)
        snapshot = session.snapshot()
        taken, after = read_outs(session), []
        for _ in range(2):
            session.stroke([[60, 60], [80, 70]], "subtract", radius=30, core=90)
            session.restore(snapshot)
            assert all(np.array_equal(got, want) for got, want in zip(read_outs(session), taken))
            session.stroke([[50, 40], [90, 45]], radius=20, core=60)
            after.append(session.mask(4))
        assert np.array_equal(after[0], after[1]) and not np.array_equal(after[0], taken[0])
        assert snapshot.nbytes > 1000


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def test_collected_snapshots_free_their_memory():
    with veldra.Session(synthetic_image(300, 400)) as session:
        session.seed(seed_mask(300, 400))
        size, before = session.snapshot().nbytes, resident_bytes()
        for _ in range(1000):
            session.snapshot()
        assert resident_bytes() - before < 100 * size
