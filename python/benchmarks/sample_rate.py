"""Variants per second of ``zekalg.sample`` beside the zekalg command's
``sample`` on the same algorithm, count, seed and threads, run in turns in
one process so that both see the same machine:

    python sample_rate.py [--command PATH] [--count N] [--threads T]
                          [--rounds R] FILE...

Each round times ``zekalg sample FILE -n N --seed 1 --threads T`` twice
(its summary table, and ``--format json``, which writes every row as
Python receives them) and ``list(zekalg.sample(text, N, seed=1,
threads=T))``, all by the wall clock, command start-up included; the best
round of each is reported.
"""
import argparse
import subprocess
import time
from pathlib import Path

import zekalg

ROOT = Path(__file__).resolve().parents[2]


def timed(work) -> float:
    start = time.perf_counter()
    work()
    return time.perf_counter() - start


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("files", nargs="+", type=Path)
    parser.add_argument("--command", type=Path, default=ROOT / "build" / "default" / "zekalg")
    parser.add_argument("--count", type=int, default=100_000)
    parser.add_argument("--threads", type=int, default=1)
    parser.add_argument("--rounds", type=int, default=3)
    args = parser.parse_args()
    n, t = args.count, args.threads
    print(f"{n} variants, seed 1, {t} thread(s), best of {args.rounds}; variants per second")
    print(f"{'algorithm':24} {'command':>10} {'cmd json':>10} {'python':>10} "
          f"{'py/cmd':>7} {'py/json':>7}")
    for path in args.files:
        text = path.read_text(encoding="utf-8-sig")
        command = [str(args.command), "sample", str(path), "-n", str(n), "--seed", "1",
                   "--threads", str(t)]
        best = {"command": [], "json": [], "python": []}
        for _ in range(args.rounds):
            best["command"].append(timed(lambda: subprocess.run(
                command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)))
            best["json"].append(timed(lambda: subprocess.run(
                command + ["--format", "json"], stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL, check=True)))
            best["python"].append(timed(lambda: list(zekalg.sample(text, n, seed=1, threads=t,
                                                                   skip_failures=True))))
        rate = {k: n / min(v) for k, v in best.items()}
        print(f"{path.name:24} {rate['command']:10.0f} {rate['json']:10.0f} "
              f"{rate['python']:10.0f} {rate['python'] / rate['command']:7.2f} "
              f"{rate['python'] / rate['json']:7.2f}")


if __name__ == "__main__":
    main()
