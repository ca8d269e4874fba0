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


def test_a_create_that_draws_nothing_keeps_its_seed():
    e1 = zekalg.Environment("r_a|1|9\nq_sq|a^2|0", seed=2026)
    e2 = zekalg.Environment("r_a|1|9\nq_sq|a^2|0", seed=2654435761)
    assert (e1.solve("a"), e2.solve("a")) == ("2", "6")
    e1.close()
    e2.close()


# Algorithms for the generated programs: the first two draw nothing until
# they are solved, the third draws while it is built, the last never builds.
PROGRAM_ALGORITHMS = [
    ("r_a|1|9\nq_sq|a^2|0", ["a", "sq", "rand(1,1000)"]),
    ("r_a|1|30000\nr_b|1|30000\nq_s|a+b|0", ["s", "b", "rand(1,30000)"]),
    (LAZY, ["k", "m", "n", "rand(1,9)"]),
    ("r_x|1|9\nc_never|x>100", []),
]


def _answers(algorithm, seed, requests):
    try:
        env = zekalg.Environment(algorithm, seed=seed)
    except zekalg.AlgorithmError as e:
        return [f"not created: {e}"]
    with env:
        return [env.solve(r) for r in requests]


def test_generated_programs_keep_every_seed():
    """Random programs of seeds, creates, solves and closes over four
    threads: every environment answers as the same seed's one alone."""
    import random

    rng = random.Random(20261209)
    ops = []      # (thread, kind, env, request or seed)
    envs = []     # [algorithm, seed, requests]
    live = []
    while len(ops) < 3000:
        roll = rng.randrange(100)
        if roll < 25 and len(live) < 24:
            algorithm, requests = rng.choice(PROGRAM_ALGORITHMS)
            envs.append([algorithm, rng.randrange(2**32), []])
            ops.append((rng.randrange(4), "create", len(envs) - 1, None))
            if requests:
                live.append(len(envs) - 1)
        elif roll < 30:
            ops.append((rng.randrange(4), "seed", -1, rng.randrange(2**32)))
        elif roll < 37 and live:
            ops.append((rng.randrange(4), "close", live.pop(rng.randrange(len(live))), None))
        elif live:
            env = rng.choice(live)
            request = rng.choice(dict(PROGRAM_ALGORITHMS)[envs[env][0]])
            envs[env][2].append(request)
            ops.append((rng.randrange(4), "solve", env, request))
    ops += [(rng.randrange(4), "close", env, None) for env in live]

    # Each operation waits for the one before it on the same environment.
    done = [threading.Event() for _ in ops]
    previous, last = [], {}
    for i, (_, _, env, _) in enumerate(ops):
        previous.append(last.get(env) if env >= 0 else None)
        if env >= 0:
            last[env] = i
    objects, got = {}, {i: [] for i in range(len(envs))}

    def work(thread):
        for i, (t, kind, env, arg) in enumerate(ops):
            if t != thread:
                continue
            if previous[i] is not None:
                done[previous[i]].wait(60)
            try:
                if kind == "seed":
                    zekalg.seed(arg)
                elif kind == "create":
                    try:
                        objects[env] = zekalg.Environment(envs[env][0], seed=envs[env][1])
                    except zekalg.AlgorithmError as e:
                        got[env].append(f"not created: {e}")
                elif kind == "solve":
                    got[env].append(objects[env].solve(arg))
                elif env in objects:
                    objects[env].close()
            finally:
                done[i].set()

    threads = [threading.Thread(target=work, args=(t,)) for t in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    wrong = [(i, env[1]) for i, env in enumerate(envs)
             if got[i] != _answers(env[0], env[1], env[2])]
    assert not wrong, f"environments (index, seed) that did not answer as alone: {wrong[:5]}"
