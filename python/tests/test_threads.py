import sys
import threading
import time

import pytest

import zekalg

LONG = "+".join(["a"] * 100000)  # about 40 ms of engine work


@pytest.fixture
def no_forced_switches():
    """While a thread holds the GIL no other one runs: threads then only
    overlap where a call releases it."""
    before = sys.getswitchinterval()
    sys.setswitchinterval(100.0)
    yield
    sys.setswitchinterval(before)


def test_two_threads_are_in_the_engine_at_once(no_forced_switches):
    env = zekalg.Environment("k_a|1")
    for _ in range(5):
        spans = []
        start = threading.Barrier(2)

        def work():
            start.wait()
            begin = time.perf_counter()
            for _ in range(3):
                assert env.solve(LONG) == "100000"
            spans.append((begin, time.perf_counter()))

        threads = [threading.Thread(target=work) for _ in range(2)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        (a0, a1), (b0, b1) = spans
        if max(a0, b0) < min(a1, b1):
            return
    pytest.fail("the calls never overlapped: the GIL is held while the engine works")


def test_threads_draw_their_own_seeded_variants():
    algorithm = "r_a|1|1000000\nr_b|1|1000000\nq_s|a+b|0"
    expected = {seed: [dict(v) for v in zekalg.sample(algorithm, 200, seed=seed)]
                for seed in range(4)}
    got = {}

    def work(seed):
        got[seed] = [dict(v) for v in zekalg.sample(algorithm, 200, seed=seed)]

    threads = [threading.Thread(target=work, args=(seed,)) for seed in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert got == expected


def test_long_results_from_many_threads():
    text = "é" * 5000
    env = zekalg.Environment(f'k_t|"{text}"\nk_n|-1')
    failures = []

    def work(length):
        for _ in range(200):
            if env.solve(f"left(t, {length})") != text[:length] or env.solve("n") != "\u20131":
                failures.append(length)

    threads = [threading.Thread(target=work, args=(n,)) for n in (100, 300, 2000, 5000)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert not failures


LAZY = "r_m|2|9\nr_n|1|8\nr_k|1|4\nc_order|m>n"  # k is drawn at the first solve


def _alone(seed):
    with zekalg.Environment(LAZY, seed=seed) as env:
        return env.solve_all()


@pytest.mark.parametrize("pattern", ["interleaved", "thread pool"])
def test_an_environment_keeps_its_variant(pattern):
    expected = {seed: _alone(seed) for seed in (42, 7, 1000, 4000000000)}
    envs = {seed: zekalg.Environment(LAZY, seed=seed) for seed in expected}
    if pattern == "interleaved":
        got = {seed: env.solve_all() for seed, env in envs.items()}
    else:
        from concurrent.futures import ThreadPoolExecutor
        with ThreadPoolExecutor(max_workers=2) as pool:
            got = dict(zip(envs, pool.map(lambda env: env.solve_all(), envs.values())))
    for env in envs.values():
        env.close()
    assert got == expected
