"""The package against the zekalg command: same variants, same messages."""
import json
import re
import subprocess
import time
import urllib.error
import urllib.request

import pytest

import zekalg
from conftest import EXAMPLES
from test_api import QUESTIONS, wrong_response


def solved(stdout):
    return dict(line.split(" = ", 1) for line in stdout.splitlines())


@pytest.mark.parametrize("path", EXAMPLES, ids=lambda p: p.name)
@pytest.mark.parametrize("seed", [2026, 4294967295, -7])
def test_seeds_bring_back_what_solve_prints(zekalg_command, path, seed):
    stdout, _, status = zekalg_command("solve", path, "--seed", seed)
    assert status == 0
    algorithm = path.read_text(encoding="utf-8")
    assert zekalg.Environment(algorithm, seed=seed).solve_all() == solved(stdout)


SAMPLES = [(path.read_text(encoding="utf-8"), None, seed)
           for path, seed in zip(EXAMPLES[:2], [1, -3])]
SAMPLES.append(("q_y|x*2|0", "r_x|1|99", 1))  # each row draws its own base


@pytest.mark.parametrize("algorithm, base, seed", SAMPLES, ids=["example-1", "example-2", "base"])
def test_sample_rows_are_those_of_the_command(zekalg_command, algorithm_file, algorithm, base,
                                              seed):
    args = ["sample", algorithm_file(algorithm), "-n", 25, "--seed", seed, "--format", "json"]
    if base is not None:
        args += ["--base", algorithm_file(base, "base.alg")]
    stdout, _, status = zekalg_command(*args)
    assert status == 0
    expected = [(r["row"], r["seed"], r["values"]) for r in json.loads(stdout)["variants"]]
    rows = list(zekalg.sample(algorithm, 25, seed=seed, base=base, threads=2))
    assert [(v.row, v.seed, dict(v)) for v in rows] == expected
    for row in rows[:5]:  # a row's seed brings it back, base included
        assert zekalg.Environment(algorithm, base=base, seed=row.seed).solve_all() == row


TRICKY = "k_B|1\r\n\r\nc_ok|1=1\nq_a|B+1\nk_b|3\nr_c|-4|-4\nf_g|x|x\nl_d|u|\"é\"|\"é\"\n"


def test_solve_all_is_what_solve_prints(zekalg_command, algorithm_file):
    stdout, _, _ = zekalg_command("solve", algorithm_file(TRICKY), "--seed", 1)
    assert zekalg.Environment(TRICKY, seed=1).solve_all() == solved(stdout)


@pytest.mark.parametrize("algorithm, request_", [
    ("r_a|1|2\nc_no|a>5", None),
    ("k_a|1\nq_d|a/0", "d"),
    ("k_a|1\nq_t|\"é\" & zz", "t"),
    ("k_a|1", "len(1)"),
])
def test_messages_are_the_engines(zekalg_command, algorithm_file, algorithm, request_):
    _, stderr, status = zekalg_command("solve", algorithm_file(algorithm), *[request_] * bool(request_))
    assert status == 1
    with pytest.raises(zekalg.EngineError) as caught:
        zekalg.Environment(algorithm).solve(request_)
    assert stderr.rstrip("\n").endswith(": " + caught.value.message)


@pytest.mark.parametrize("algorithm, base", [
    ("r_a|1|9\nq_b|a+zz|0\nc_never|a>20\nq_unused\nq_t|len(1,2)", None),
    ("r_a|1|3\nc_rare|a=1\nq_x|1/(a-1)", None),
    ("q_c|m+n", "k_m|1"),
])
def test_check_gives_the_commands_diagnostics(zekalg_command, algorithm_file, algorithm, base):
    path = algorithm_file(algorithm)
    args = ["check", path]
    if base is not None:
        args += ["--base", algorithm_file(base, "base.alg")]
    stdout, _, _ = zekalg_command(*args)
    kwargs = {"path": str(path)}
    if base is not None:
        kwargs.update(base=base, base_path=str(args[-1]))
    found = zekalg.check(algorithm, **kwargs)
    printed = [f"{path}:{d.line}: " if d.line else f"{path}: " for d in found]
    lines = [where + f"{d.severity}: {d.message}" for where, d in zip(printed, found)]
    # The command ends with how many variants there are, then the totals.
    told = [line for line in stdout.splitlines()[:-1]
            if not (line.startswith(f"{path}: ") and
                    not line[len(f"{path}: "):].startswith(("error:", "warning:")))]
    assert found and lines == told


@pytest.fixture(scope="module")
def service(zekalg_path, tmp_path_factory):
    """`zekalg serve` on a free loopback port: a function that posts a JSON
    body to a path and returns (status, answer)."""
    log = tmp_path_factory.mktemp("serve") / "stderr"
    with open(log, "w") as err:
        server = subprocess.Popen([str(zekalg_path), "serve", "--listen", "127.0.0.1:0",
                                   "--threads", "2"], stdin=subprocess.DEVNULL,
                                  stdout=subprocess.DEVNULL, stderr=err)
    try:
        for _ in range(200):  # up to 10 seconds
            found = re.search(r"listening on (http://\S+?)/", log.read_text())
            if found or server.poll() is not None:
                break
            time.sleep(0.05)
        assert found, f"zekalg serve did not start: {log.read_text()}"

        def post(path, body):
            request = urllib.request.Request(found.group(1) + path, json.dumps(body).encode(),
                                             {"Content-Type": "application/json"})
            try:
                with urllib.request.urlopen(request, timeout=30) as answer:
                    return answer.status, json.loads(answer.read())
            except urllib.error.HTTPError as e:
                return e.code, json.loads(e.read())

        yield post
    finally:
        server.terminate()
        server.wait(timeout=30)


@pytest.mark.parametrize("path", QUESTIONS, ids=lambda p: p.name)
def test_grade_gives_the_services_document(service, path):
    algorithm = path.read_text(encoding="utf-8")
    for seed in (3, 4294967295):
        shown = zekalg.grade(algorithm, seed)
        assert service("/v1/grade", {"algorithm": algorithm, "seed": seed}) == (200, shown)
        for responses in ([p["answer"] for p in shown["parts"]],
                          [wrong_response(p) for p in shown["parts"]], [""] * len(shown["parts"])):
            body = {"algorithm": algorithm, "seed": seed, "responses": responses,
                    "ascii_minus": True}
            assert service("/v1/grade", body) == (
                200, zekalg.grade(algorithm, seed, responses, ascii_minus=True))
    status, problem = service("/v1/grade", {"algorithm": algorithm, "seed": 1, "responses": []})
    assert status == 422
    with pytest.raises(ValueError) as caught:
        zekalg.grade(algorithm, 1, [])
    assert problem["detail"] == str(caught.value)


@pytest.mark.parametrize("path", QUESTIONS, ids=lambda p: p.name)
def test_grade_verdicts_are_the_commands(zekalg_command, path):
    """`zekalg grade FILE --seed S RESPONSE...` prints the verdicts the
    package gives: right answers, wrong ones and unreadable ones."""
    algorithm = path.read_text(encoding="utf-8")
    for seed in (5, 4000000000):
        parts = zekalg.grade(algorithm, seed)["parts"]
        right = [p["options"][p["right_option"] - 1] if p["kind"] == "choice" else p["answer"]
                 for p in parts]
        for responses in (right, [wrong_response(p) for p in parts],
                          ["abc" if p["kind"] == "numeric" else r for p, r in zip(parts, right)]):
            stdout, _, status = zekalg_command("grade", path, "--seed", seed, *responses)
            verdicts = zekalg.grade(algorithm, seed, responses)["verdicts"]
            assert stdout.splitlines() == [
                f"part {v['part']}: {v['result']}" + (f": {v['reason']}" if v.get("reason") else "")
                for v in verdicts]
            assert status == (0 if all(v["result"] == "right" for v in verdicts) else 1)
