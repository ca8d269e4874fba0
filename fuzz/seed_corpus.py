#!/usr/bin/env python3
"""Seed inputs for the fuzz targets from the algorithms the project already
has: examples/*.alg with the requests of their .test files, the cases of
tests/conformance/cases.txt and the algorithms and requests of docs/*.md.
Writes one file per input into OUT/TARGET/ (an input is parts separated by
NUL bytes, as the targets read them); scripts/fuzz.sh merges them into the
kept corpus (fuzz/corpus/TARGET), which stays minimal.

Usage: fuzz/seed_corpus.py OUT
"""
import hashlib
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent


def cp1252(text):
    return text.encode("cp1252", errors="ignore")


def unescape(text):
    """The escapes of cases.txt: \\n \\r \\t \\\\ \\xHH."""
    out = bytearray()
    i = 0
    raw = text.encode("latin-1", errors="ignore")
    while i < len(raw):
        c = raw[i]
        if c == 0x5C and i + 1 < len(raw):
            n = raw[i + 1]
            if n == ord("n"):
                out += b"\n"
            elif n == ord("r"):
                out += b"\r"
            elif n == ord("t"):
                out += b"\t"
            elif n == ord("x") and i + 3 < len(raw) + 1:
                out.append(int(raw[i + 2:i + 4], 16))
                i += 2
            else:
                out.append(n)
            i += 2
            continue
        out.append(c)
        i += 1
    return bytes(out)


def examples():
    """(algorithm, [requests]) of each example."""
    for alg in sorted((ROOT / "examples").glob("*.alg")):
        requests = []
        test = alg.with_suffix(".test")
        if test.exists():
            for line in test.read_text(encoding="utf-8").splitlines():
                m = re.match(r"\s*(?:solve|request)?\s*(.+?)\s*(?:→|->|=>)", line)
                if m:
                    requests.append(cp1252(m.group(1)))
        alg_bytes = cp1252(alg.read_text(encoding="utf-8"))
        names = [l.split(b"|")[0][2:] for l in alg_bytes.splitlines() if b"|" in l]
        yield alg_bytes, requests or names


def conformance():
    """(base or None, algorithm, [requests]) of each case."""
    case = None
    for line in (ROOT / "tests/conformance/cases.txt").read_text(encoding="latin-1").splitlines():
        if line.startswith("case "):
            if case:
                yield case
            case = [None, b"", []]
        elif case is None:
            continue
        elif line.startswith("create "):
            if case[1]:
                yield case
                case = [None, b"", []]
            case[1] = unescape(line[7:])
        elif line.startswith("derive "):
            case[0], case[1], case[2] = case[1], unescape(line[7:]), []
        elif line.startswith("solve ") or line.startswith("solve-once "):
            case[2].append(unescape(line.split(" ", 1)[1]))
    if case:
        yield case


def docs():
    """(base or None, algorithm, [requests]) of each algorithm of the docs."""
    for md in sorted((ROOT / "docs").glob("*.md")):
        base = None
        alg = None
        requests = []
        block = None
        lines = []
        for line in md.read_text(encoding="utf-8").splitlines():
            if block is None:
                if line.startswith("```"):
                    block, lines = line[3:].strip(), []
                elif line.startswith("#"):
                    if alg is not None:
                        yield base, alg, requests
                    base, alg, requests = None, None, []
                continue
            if not line.startswith("```"):
                lines.append(line)
                continue
            if block == "alg base":
                base = cp1252("\n".join(lines))
            elif block == "alg":
                if alg is not None:
                    yield base, alg, requests
                alg, requests = cp1252("\n".join(lines)), []
            elif block.startswith("solve"):
                for l in lines:
                    if "→" in l:
                        requests.append(cp1252(l.split("→")[0].strip()))
            block = None
        if alg is not None:
            yield base, alg, requests


def main():
    out = pathlib.Path(sys.argv[1])
    inputs = {t: [] for t in ("fuzz_algorithm", "fuzz_plans", "fuzz_base", "fuzz_request")}
    sources = [(None, a, r) for a, r in examples()] + list(conformance()) + list(docs())
    every_request = []
    for base, alg, requests in sources:
        requests = [r for r in requests if b"\0" not in r]
        every_request += requests
        alg = alg.replace(b"\0", b"")
        inputs["fuzz_algorithm"].append([alg] + requests[:4])
        inputs["fuzz_plans"].append([alg] + requests[:7])
        if base is not None:
            inputs["fuzz_base"].append([base.replace(b"\0", b""), alg] + requests[:4])
        else:
            inputs["fuzz_base"].append([alg, b"q_own|1"] + requests[:4])
    for i in range(0, len(every_request), 8):
        inputs["fuzz_request"].append(every_request[i:i + 8])
    for target, items in inputs.items():
        d = out / target
        d.mkdir(parents=True, exist_ok=True)
        for parts in items:
            data = b"\0".join(parts)
            if 0 < len(data) <= 4096:
                (d / hashlib.sha1(data).hexdigest()).write_bytes(data)


if __name__ == "__main__":
    main()
