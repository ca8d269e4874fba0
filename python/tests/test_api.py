import copy
import gc
import os
import pickle
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

import zekalg
from zekalg import _native

DASH = "\u2013"


@pytest.mark.parametrize("algorithm, request_, expected", [
    ('k_t|"é°"', "t", "é°"),                          # in and out through the code page
    ('k_t|"x"', '"Größe: " & t & "°"', "Größe: x°"),   # in a request
    ("k_x|-7", "x", DASH + "7"),                       # the engine's minus
    ("r_a|3|3", "-a*2", DASH + "6"),
    ('q_w|"€" & chr(150) & chr(129)', "w", "€" + DASH + "\x81"),  # 129 is undefined in the code page
    ('q_z|"a" & chr(0) & "b"', "z", "a\x00b"),         # a NUL inside a result
])
def test_texts_are_converted(algorithm, request_, expected):
    with zekalg.Environment(algorithm) as env:
        assert env.solve(request_) == expected


@pytest.mark.parametrize("ascii_minus, expected", [(False, DASH + "3.50"), (True, "-3.50")])
def test_ascii_minus(ascii_minus, expected):
    algorithm = "q_x|-3.5|2\nq_y|x*2|0"
    with zekalg.Environment(algorithm, ascii_minus=ascii_minus) as env:
        assert env.solve("x") == expected
        assert env.solve_all()["y"] == expected[0] + "7"
    rows = list(zekalg.sample(algorithm, 1, seed=1, ascii_minus=ascii_minus))
    assert rows[0]["x"] == expected


@pytest.mark.parametrize("call, what, character, line, column", [
    (lambda: zekalg.Environment("k_a|1\nk_b|\"xΩ\""), "algorithm", "Ω", 2, 7),
    (lambda: zekalg.Environment("k_a|1").solve("a+\U0001F600"), "request", "\U0001F600", 1, 3),
    (lambda: zekalg.Environment("k_a|1").solve("a\x00"), "request", "\x00", 1, 2),
    (lambda: zekalg.Environment("k_a|1", base="k_b|\"–→\""), "base", "→", 1, 7),
    (lambda: zekalg.sample("k_a|\"\u0394\"", 1), "algorithm", "\u0394", 1, 6),
])
def test_unconvertible_characters_are_named(call, what, character, line, column):
    with pytest.raises(zekalg.EncodingError) as caught:
        call()
    e = caught.value
    assert (e.what, e.character, e.line, e.column) == (what, character, line, column)
    assert f"U+{ord(character):04X}" in str(e) and isinstance(e, ValueError)


@pytest.mark.parametrize("length", [
    _native.FIRST_SIZE - 2, _native.FIRST_SIZE - 1, _native.FIRST_SIZE, _native.FIRST_SIZE + 1,
    _native.KEPT_SIZE, _native.KEPT_SIZE + 5, 3,
])
def test_cut_results_are_asked_again(length):
    text = ("é" + "x" * 98 + DASH) * 700  # 70,000 bytes
    with zekalg.Environment(f'k_t|"{text}"') as env:
        for _ in range(2):  # a second time with the buffer the first one left
            assert env.solve(f"left(t, {length})") == text[:length]


@pytest.mark.parametrize("algorithm, request_, error, variable, line", [
    ("r_a|1|2\nc_no|a>5", None, zekalg.AlgorithmError, None, 2),
    ("k_a|1\nq_d|a/0", "d", zekalg.SolveError, "d", 2),
    ("k_a|1\nq_U|zz+1", "u", zekalg.SolveError, "u", 2),     # names are case-blind
    ("k_a|1\nf_half|x/0|x\nq_h|half(2)", "h", zekalg.SolveError, "h", 3),
    ("k_a|1", "1/0", zekalg.SolveError, None, None),
    ("k_a|1", "nope", zekalg.SolveError, None, None),
])
def test_errors_carry_message_and_variable(algorithm, request_, error, variable, line):
    with pytest.raises(error) as caught:
        with zekalg.Environment(algorithm) as env:
            env.solve(request_)
    e = caught.value
    assert (e.variable, e.line) == (variable, line)
    assert str(e) == e.message and e.message
    if variable is not None:
        assert e.message.startswith(variable + ": ")
    if error is zekalg.SolveError:
        assert (e.request, e.status) == (request_, -1)


def test_unknown_errors_have_their_status():
    with zekalg.Environment("k_a|1") as env, pytest.raises(zekalg.SolveError) as caught:
        env.solve("+".join(["1"] * 300000))
    assert (caught.value.status, caught.value.message) == (-2, "Unknown error occurred.")


def test_environments_are_killed_on_exit_close_and_collection():
    with zekalg.Environment("k_a|5") as env:
        first = env.id
        assert env.solve("a") == "5"
    assert env.closed and _native.solve(first, b"a") == (0, b"")
    with pytest.raises(ValueError):
        env.solve("a")
    env.close()  # again is harmless

    env = zekalg.Environment("k_a|6")
    second = env.id
    assert _native.solve(second, b"a") == (0, b"6")
    del env
    gc.collect()
    assert _native.solve(second, b"a") == (0, b"")


def test_base_environments():
    with zekalg.Environment("k_m|7\nf_cube|x*x*x|x") as base:
        with zekalg.Environment("q_w|cube(m)", base=base) as child:
            assert child.solve("w") == "343"
            assert child.solve_all() == {"w": "343"}
        assert base.solve("m") == "7"
    child = zekalg.Environment("q_w|m+1", base="k_m|7\nf_half|x/0|x")
    owned = child.base
    assert child.solve("w") == "8"
    with pytest.raises(zekalg.SolveError) as caught:
        child.solve("half(2)")
    assert (caught.value.variable, caught.value.line) == ("half", None)  # not a line of the child
    child.close()
    assert owned.closed
    with pytest.raises(ValueError):
        zekalg.Environment("k_a|1", base=owned)
    # A sample draws each row's base: an environment stands for its algorithm.
    with zekalg.Environment("r_x|1|99") as base:
        assert (list(zekalg.sample("q_y|x*2", 9, seed=3, base=base))
                == list(zekalg.sample("q_y|x*2", 9, seed=3, base="r_x|1|99")))


def test_solve_all_names():
    algorithm = "k_B|1\r\n\r\nc_ok|1=1\nq_a|B+1\nk_b|3\nr_c|1|1\nf_g|x|x\nl_d|u|4|4"
    with zekalg.Environment(algorithm) as env:
        assert list(env.solve_all().items()) == [("B", "1"), ("a", "2"), ("c", "1"), ("d", "4")]


@pytest.mark.parametrize("bad, error", [(2**32, ValueError), (-2**31 - 1, ValueError),
                                        ("1", TypeError), (True, TypeError)])
def test_seed_range(bad, error):
    with pytest.raises(error):
        zekalg.seed(bad)


@pytest.mark.parametrize("seed", [0, 2026, 2**32 - 1, -1])
def test_same_seed_same_variant(seed):
    algorithm = "r_a|1|1000\nr_b|1|1000\nq_s|a*b"
    first = zekalg.Environment(algorithm, seed=seed).solve_all()
    zekalg.seed(seed)
    assert zekalg.Environment(algorithm).solve_all() == first
    # -1 and 2**32 - 1 are the same 32 bits
    assert zekalg.Environment(algorithm, seed=seed % 2**32).solve_all() == first


# A long sample is made in parts (7 rows each here): the same rows, and the
# same first failure, as in one part.
@pytest.mark.parametrize("part", [None, 7])
def test_sample_rows_come_back_and_failures(part, monkeypatch):
    algorithm = "r_a|1|4\nc_odd|a<>2\nq_half|4/(a-1)|1"
    whole = list(zekalg.sample(algorithm, 40, seed=9, skip_failures=True))
    if part is not None:
        monkeypatch.setattr(zekalg._api, "_SAMPLE_PART", part)
    rows = list(zekalg.sample(algorithm, 40, seed=9, skip_failures=True))
    assert [(r.row, r.seed, dict(r)) for r in rows] == [(r.row, r.seed, dict(r)) for r in whole]
    assert 0 < len(rows) < 40  # a = 2 never holds; a = 1 fails to solve
    for row in rows:
        assert zekalg.Environment(algorithm, seed=row.seed).solve_all() == row
    got = []
    with pytest.raises(zekalg.SolveError) as caught:
        got.extend(zekalg.sample(algorithm, 40, seed=9, threads=2))
    assert got == [r for i, r in enumerate(rows, 1) if r.row == i]  # the rows before it
    assert zekalg.Environment(algorithm, seed=caught.value.seed).solve("a") == "1"
    assert (caught.value.variable, caught.value.line, caught.value.status) == ("half", 3, -1)


def test_check_diagnostics():
    found = zekalg.check("r_a|1|9\nq_b|a+zz|0\nc_never|a>20")
    assert all(isinstance(d, zekalg.Diagnostic) for d in found)
    assert {(d.line, d.severity) for d in found} >= {(2, "error"), (3, "error")}
    assert zekalg.check("r_a|1|99\nq_b|a+1|0") == []
    few = zekalg.check("r_a|1|9\nq_b|a+1|0")
    assert [(d.line, d.severity) for d in few] == [(0, "warning")]
    assert "9 distinct variants" in few[0].message
    assert zekalg.check("q_c|m+1", base="k_m|1") == []


@pytest.mark.parametrize("duplicate", [copy.copy, copy.deepcopy, pickle.dumps])
def test_environments_refuse_copies(duplicate):
    with zekalg.Environment("k_a|5") as env, pytest.raises(TypeError, match="cannot be copied"):
        duplicate(env)


ERRORS = [
    zekalg.AlgorithmError("condition a>5 could not be satisfied", line=2, seed=7),
    zekalg.SolveError("d: error", request="d", status=-1, variable="d", line=2, seed=None),
    zekalg.SolveError("Unknown error occurred.", request="1+1", status=-2),
]


def _raise_error(index):
    raise ERRORS[index]


def _fields(error):
    return type(error), error.args, vars(error)


def test_errors_cross_processes():
    from concurrent.futures import ProcessPoolExecutor
    unconvertible = pytest.raises(zekalg.EncodingError, zekalg.Environment, "k_a|\"Ω\"").value
    for error in [*ERRORS, unconvertible]:
        assert _fields(pickle.loads(pickle.dumps(error))) == _fields(error)
    with ProcessPoolExecutor(max_workers=1) as pool:
        for index, error in enumerate(ERRORS):
            with pytest.raises(type(error)) as caught:
                pool.submit(_raise_error, index).result()
            assert _fields(caught.value) == _fields(error)


@pytest.mark.parametrize("variable, library", [
    (None, "libzekalg.so"),                     # a package without its library
    ("ZEKALG_LIBRARY", "/nowhere/libzekalg.so"),
])
def test_missing_library_names_where_it_looked(tmp_path, variable, library):
    package = Path(zekalg.__file__).parent
    shutil.copytree(package, tmp_path / "zekalg", ignore=shutil.ignore_patterns("*.so"))
    env = {k: v for k, v in os.environ.items() if not k.startswith("ZEKALG_")}
    env["PYTHONPATH"] = str(tmp_path)
    if variable:
        env[variable] = library
    done = subprocess.run([sys.executable, "-c", "import zekalg"], env=env,
                          capture_output=True, text=True, check=False)
    assert "ImportError: zekalg cannot load libzekalg.so; tried:" in done.stderr
    expected = [library] if variable else [str(tmp_path / "zekalg" / library), library]
    listed = done.stderr.split("tried:\n", 1)[-1].splitlines()
    tried = [line.split()[0].rstrip(":") for line in listed if line.startswith("  ")]
    assert tried == expected


QUESTIONS = sorted((Path(__file__).resolve().parents[2] / "examples").glob("q_*.alg"))


def wrong_response(part):
    """A response that is readable and wrong for `part`."""
    if part["kind"] == "choice":
        return part["options"][part["right_option"] % len(part["options"])]
    if part["kind"] == "text":
        return "no such unit"
    # The right number with its first significant digit changed.
    number = part["answer"]
    first = next(i for i, c in enumerate(number) if c in "123456789")
    return number[:first] + str(int(number[first]) % 9 + 1) + number[first + 1:]


@pytest.mark.parametrize("path", QUESTIONS, ids=lambda p: p.name)
@pytest.mark.parametrize("seed", [1, 2026, -7])
def test_grade_takes_the_right_answers_and_refuses_wrong_ones(path, seed):
    algorithm = path.read_text(encoding="utf-8")
    shown = zekalg.grade(algorithm, seed)
    assert "verdicts" not in shown and shown["parts"]
    values = zekalg.Environment(algorithm, seed=seed).solve_all()
    for part in shown["parts"]:
        if part["kind"] != "choice":  # the variant is the one solve makes
            assert part["answer"] == values[part["variable"]]
    n = len(shown["parts"])
    right = zekalg.grade(algorithm, seed, [p["answer"] for p in shown["parts"]])
    assert [v["result"] for v in right["verdicts"]] == ["right"] * n and right["right"] == n
    assert {k: v for k, v in right.items() if k not in ("verdicts", "right")} == shown
    wrong = zekalg.grade(algorithm, seed, [wrong_response(p) for p in shown["parts"]])
    assert [v["result"] for v in wrong["verdicts"]] == ["wrong"] * n and wrong["right"] == 0


GRADED = "q_a|-3.5|1\nq_p|\"Give a.\"\n?prompt|p\n?numeric|a"


@pytest.mark.parametrize("call, error, match", [
    (lambda: zekalg.grade("k_a|1", 1), ValueError, None),                 # no question
    (lambda: zekalg.grade(GRADED, 1, ["1", "2"]), ValueError, None),      # one part, two answers
    (lambda: zekalg.grade(GRADED, 1, ["1\n2"]), ValueError, "line break"),
    (lambda: zekalg.grade(GRADED, 1, "3"), TypeError, "sequence"),
    (lambda: zekalg.grade(GRADED, 1, [3]), TypeError, "responses"),
    (lambda: zekalg.grade(GRADED, 2**32), ValueError, "seed"),
    (lambda: zekalg.grade(GRADED + "\nk_o|\"Ω\"", 1), zekalg.EncodingError, "U\\+03A9"),
    (lambda: zekalg.grade("r_x|1|3\nc_no|x>5\n" + GRADED, 1), zekalg.AlgorithmError,
     "could not be satisfied"),
])
def test_grade_errors(call, error, match):
    with pytest.raises(error, match=match):
        call()


@pytest.mark.parametrize("response, result", [
    ("\u22123.5", "right"),   # the minus sign students paste, beyond the code page
    ("-3,5", "right"),
    ("\u221a2", "unreadable"),
])
def test_grade_reads_what_students_type(response, result):
    doc = zekalg.grade(GRADED, 1, [response])
    assert doc["verdicts"][0]["result"] == result
    assert doc["parts"][0]["answer"] == DASH + "3.5"
    assert zekalg.grade(GRADED, 1, ascii_minus=True)["parts"][0]["answer"] == "-3.5"
