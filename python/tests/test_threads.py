# The interpreter lock is released while the library works: another Python thread keeps running
# during a long stroke.
import threading
import time

import veldra
from conftest import synthetic_image


def test_other_threads_run_during_a_stroke():
    ticks, done = [], threading.Event()

    def tick():
        while not done.is_set():
            ticks.append(time.perf_counter())
            time.sleep(0.001)

    with veldra.Session(synthetic_image(500, 600)) as session:
        ticker = threading.Thread(target=tick)
        ticker.start()
        start = time.perf_counter()
        session.stroke([[200 + 10 * k, 250] for k in range(12)], radius=300, core=50)
        end = time.perf_counter()
        done.set()
        ticker.join()
    assert end - start > 0.05
    assert sum(start < t < end for t in ticks) > 5
