# The interpreter lock is released while the library works: another Python thread keeps running
# during a long stroke, also after it dropped the last reference to a snapshot (which must not wait
# for the library to be free).
import threading
import time

import veldra
from conftest import synthetic_image


def test_other_threads_run_during_a_stroke():
    ticks, done, snapshots, dropped = [], threading.Event(), [], []

    def tick():
        while not done.is_set():
            ticks.append(time.perf_counter())
            if len(ticks) == 10:
                snapshots.clear()
                dropped.append(time.perf_counter())
            time.sleep(0.001)

    with veldra.Session(synthetic_image(500, 600)) as session:
        snapshots.append(session.snapshot())
        ticker = threading.Thread(target=tick)
        ticker.start()
        start = time.perf_counter()
        session.stroke([[200 + 10 * k, 250] for k in range(12)], radius=300, core=50)
        end = time.perf_counter()
        done.set()
        ticker.join()
    assert end - start > 0.05
    assert start < dropped[0] and sum(dropped[0] < t < end for t in ticks) > 5
