"""Environments, variants and diagnostics."""

from __future__ import annotations

import weakref
from concurrent.futures import ThreadPoolExecutor
from dataclasses import dataclass
from typing import Iterator, Literal, Optional, Sequence, Union

from . import _native
from ._errors import AlgorithmError, EngineError, SolveError
from ._text import Algorithm, from_engine, message_subject, to_engine

_EN_DASH = "\u2013"
_SEED_LOW, _SEED_HIGH = -(1 << 31), (1 << 32) - 1


def _checked_seed(value: int) -> int:
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError(f"a seed must be int, not {type(value).__name__}")
    if not _SEED_LOW <= value <= _SEED_HIGH:
        raise ValueError(f"a seed must lie in [{_SEED_LOW}, {_SEED_HIGH}], not {value}")
    return value & 0xFFFFFFFF


def seed(value: int) -> None:
    """Seeds the next environment the calling thread creates.

    That creation takes the seed, whether its algorithm draws anything
    while it is built or not, and the environment's draws start from it:
    the same seed and algorithm bring back the same variant, whatever other
    threads and environments do. Environments that exist already are not
    affected. `value` is a
    32-bit seed, from -2**31 to 2**32 - 1 (negative values stand for their
    unsigned bits), as ``zekalg solve --seed`` takes it. A thread that never
    seeded draws from the clock. Nearby seeds (1, 2, 3, ...) draw nearly the
    same first values: spread them, e.g. ``n * 2654435761 % 2**32``
    (docs/seeds.md says what fixes a variant).
    """
    _native.seed(_checked_seed(value))


def _creation_error(message: bytes, algorithm: Algorithm, bases: list[Algorithm],
                    seed: Optional[int]) -> AlgorithmError:
    variable, line = message_subject(message, algorithm, bases)
    return AlgorithmError(from_engine(message), variable=variable, line=line, seed=seed)


def _solve_error(status: int, message: bytes, request: str, algorithm: Algorithm,
                 bases: list[Algorithm], seed: Optional[int]) -> SolveError:
    variable, line = message_subject(message, algorithm, bases)
    return SolveError(from_engine(message), request=request, status=status,
                      variable=variable, line=line, seed=seed)


class Environment:
    """One engine environment: an algorithm whose random values are drawn.

    Creating it draws the random values until every condition holds;
    ``solve`` then answers requests with the engine's display text. Use it
    as a context manager, or call ``close``; an environment that is garbage
    collected is killed too::

        with zekalg.Environment("r_a|1|9\\nq_sq|a^2|0", seed=2026) as env:
            print(env.solve("sq"), env.solve_all())

    Args:
        algorithm: the definition lines, separated by line feeds.
        base: an environment this one builds on (an ``Environment``, kept
            alive as long as this one; or an algorithm text, from which a
            base environment is created after seeding and killed with this
            one).
        seed: seeds the calling thread first (see ``zekalg.seed``), so the
            same seed brings back the same variant, as
            ``zekalg solve FILE --seed SEED`` does.
        ascii_minus: results write minus as "-" instead of the engine's en
            dash "\u2013" (every en dash of a result becomes "-").

    Raises:
        AlgorithmError: the engine could not create the environment.
        EncodingError: the algorithm holds a character the engine cannot take.

    Any thread may use an environment, also several at once: the
    environment keeps its own stream of draws, so its variant depends on
    its algorithm, base, seed and the calls made on it, not on the thread
    or on other environments.
    """

    def __init__(self, algorithm: str, *, base: Union[Environment, str, None] = None,
                 seed: Optional[int] = None, ascii_minus: bool = False) -> None:
        self._id = 0
        parsed = Algorithm(algorithm)
        if base is not None and not isinstance(base, (Environment, str)):
            raise TypeError(f"base must be an Environment or an algorithm text, "
                            f"not {type(base).__name__}")
        base_algorithm = Algorithm(base, "base") if isinstance(base, str) else None
        seeded = _checked_seed(seed) if seed is not None else None
        if seeded is not None:
            _native.seed(seeded)
        if base_algorithm is not None:
            # As `zekalg solve --base`: after the seed, the base, then this one.
            base = Environment._build(base_algorithm, None, seeded, False)
        self._setup(parsed, base, seeded, ascii_minus)
        self._owns_base = base_algorithm is not None

    @classmethod
    def _build(cls, algorithm: Algorithm, base: Optional[Environment], seeded: Optional[int],
               ascii_minus: bool) -> Environment:
        env = cls.__new__(cls)
        env._id = 0
        env._setup(algorithm, base, seeded, ascii_minus)
        env._owns_base = False
        return env

    def _setup(self, algorithm: Algorithm, base: Optional[Environment], seeded: Optional[int],
               ascii_minus: bool) -> None:
        self._algorithm = algorithm
        self._base = base
        self._seed = seeded
        self._ascii_minus = ascii_minus
        self._bases = self._base_algorithms()
        env_id, message = _native.create(base._live_id() if base else 0, algorithm.data)
        if env_id <= 0:
            raise _creation_error(message, algorithm, self._bases, seeded)
        self._id = env_id
        self._finalizer = weakref.finalize(self, _native.kill, env_id)
        self._finalizer.atexit = False  # the engine's environments end with the process

    def _base_algorithms(self) -> list[Algorithm]:
        found = []
        base = self._base
        while base is not None:
            found.append(base._algorithm)
            base = base._base
        return found

    def _live_id(self) -> int:
        if not self._id:
            raise ValueError("the environment is closed")
        return self._id

    @property
    def id(self) -> int:
        """The engine's id of this environment (0 once closed)."""
        return self._id

    @property
    def algorithm(self) -> str:
        """The algorithm this environment was created from."""
        return self._algorithm.text

    @property
    def base(self) -> Optional[Environment]:
        """The environment this one builds on, or None."""
        return self._base

    @property
    def closed(self) -> bool:
        return not self._id

    @property
    def variables(self) -> list[str]:
        """The names ``solve_all`` answers, in definition order."""
        return [name for _, name in self._algorithm.names]

    def close(self) -> None:
        """Kills the environment (again is harmless). A base given as a
        text is killed with it."""
        if self._id:
            self._id = 0
            self._finalizer()
        if self._owns_base and self._base is not None:
            self._base.close()

    def __enter__(self) -> Environment:
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    # A copy would hold the same engine id: closing either one would leave
    # the other answering for an environment that no longer exists, and an
    # id means nothing in another process.
    def __reduce_ex__(self, protocol: object) -> tuple:
        raise TypeError("a zekalg.Environment cannot be copied or pickled: create another "
                        "from its algorithm and seed")

    def __copy__(self) -> Environment:
        return self.__reduce_ex__(None)

    def __deepcopy__(self, memo: object) -> Environment:
        return self.__reduce_ex__(None)

    def __repr__(self) -> str:
        state = "closed" if self.closed else f"id={self._id}"
        return f"<zekalg.Environment {state}, {len(self._algorithm.names)} variables>"

    def solve(self, request: str) -> str:
        """The display text of `request` (a variable name or a formula).

        Numbers come with the decimals, exponent form and grouping their
        definitions ask for; negative ones start with the en dash "\u2013"
        (or "-" with ``ascii_minus``).

        Raises:
            SolveError: the engine could not solve it.
            EncodingError: `request` holds a character the engine cannot take.
            ValueError: the environment is closed.
        """
        return self._solve(to_engine(request, "request"), request)

    def solve_all(self) -> dict[str, str]:
        """Every variable of the algorithm, name to display text, in
        definition order (the names as their first definition writes them),
        as ``zekalg solve FILE`` prints them. Raises SolveError on the
        first variable that fails."""
        return {name: self._solve(data, name) for data, name in self._algorithm.names}

    def _solve(self, data: bytes, request: str) -> str:
        status, result = _native.solve(self._live_id(), data)
        if status != 0:
            raise _solve_error(status, result, request, self._algorithm, self._bases, self._seed)
        text = from_engine(result)
        return text.replace(_EN_DASH, "-") if self._ascii_minus else text


class Variant(dict[str, str]):
    """One variant of ``zekalg.sample``: variable name to display text,
    with the row number and the seed that brings it back."""

    __slots__ = ("row", "seed")

    def __init__(self, row: int, seed: int) -> None:
        super().__init__()
        self.row = row
        self.seed = seed

    def __repr__(self) -> str:
        return f"Variant(row={self.row}, seed={self.seed}, {dict.__repr__(self)})"


def _int32_argument(value: Optional[int], what: str) -> int:
    """An int for a 32-bit argument of the tools (None: 0, their default).
    One out of that range becomes -1, which they refuse, naming their range."""
    if value is None:
        return 0
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError(f"{what} must be int, not {type(value).__name__}")
    return value if 0 <= value < 1 << 31 else -1


def _base_text(base: Union[Environment, str, None], what: str) -> Optional[str]:
    """The algorithm text a sample or check builds on: a text, or an
    environment's own algorithm (one level: the tools take one base)."""
    if base is None or isinstance(base, str):
        return base
    if not isinstance(base, Environment):
        raise TypeError(f"base must be an Environment or an algorithm text, "
                        f"not {type(base).__name__}")
    if base.base is not None:
        raise ValueError(f"{what} takes one base level; this base environment has a base")
    return base.algorithm


# The tools' most rows a sample, and the rows one call makes when a sample
# is long: about a tenth of a second of the engine's work each.
_MOST_ROWS = 10_000_000
_SAMPLE_PART = 16384


def sample(algorithm: str, n: int, *, seed: Optional[int] = None,
           base: Union[Environment, str, None] = None, ascii_minus: bool = False,
           skip_failures: bool = False, threads: Optional[int] = None) -> Iterator[Variant]:
    """Yields `n` variants of `algorithm`, the rows of
    ``zekalg sample FILE -n N --seed SEED [--base BASE]``, each with its row
    number, its seed and every variable solved.

    Each row seeds the generator with its own seed and then creates the base
    (when given) and the variant on it, as ``zekalg solve FILE --base BASE
    --seed S`` does: ``Environment(algorithm, base=base, seed=row.seed)``
    brings a row back, base values included. Without `seed` the rows start
    from a random one.

    Args:
        base: the algorithm every row builds on (a text, or an
            ``Environment``, which stands for its algorithm: each row draws
            its own base).
        ascii_minus: results write minus as "-" (see ``Environment``).
        skip_failures: leave out the rows whose creation or solving fails
            instead of raising (their row numbers are then missing).
        threads: the rows are made on this many threads (None or 0: the
            machine's cores); the rows are the same for any number.

    Raises:
        AlgorithmError, SolveError: a row failed; the error's ``seed`` is
            that row's. The rows before it are yielded first.
        EncodingError: a text holds a character the engine cannot take.
        ValueError: `n` or `threads` is out of the tools' range (at most
            10**7 rows, 256 threads).

    All rows are made by the call, with the GIL released, before the first
    one is yielded.
    """
    if isinstance(n, bool) or not isinstance(n, int):
        raise TypeError(f"n must be int, not {type(n).__name__}")
    if n < 0:
        raise ValueError(f"n must not be negative, not {n}")
    threads = _int32_argument(threads, "threads")
    parsed = Algorithm(algorithm)
    base_text = _base_text(base, "sample")
    base_data = Algorithm(base_text, "base").data if base_text is not None else None
    if seed is not None:
        _checked_seed(seed)
    if n == 0:
        return iter(())
    flags = _native.ASCII_MINUS if ascii_minus else 0

    def part(first: int, from_seed: int) -> dict:
        # Beyond the tools' most rows, one call says so.
        count = min(_SAMPLE_PART, n - first + 1) if n <= _MOST_ROWS else min(n, 1 << 62)
        return _native.sample(parsed.data, base_data, None, first, count, from_seed, threads,
                              flags)

    answer = part(1, _native.NO_SEED if seed is None else seed)
    names = answer["variables"]
    from_seed = answer["seed"] if seed is None else seed  # the one picked at random, or given
    rows: list[Variant] = []
    failures = list(answer["failures"])
    add, new, fill = rows.append, dict.__new__, dict.update  # a third faster than Variant()

    def convert(answer: dict) -> None:
        for made in answer["rows"]:
            variant = new(Variant)
            fill(variant, zip(names, made[2:]))
            variant.row, variant.seed = made[0], made[1]
            add(variant)

    if n <= _SAMPLE_PART:
        convert(answer)
    else:
        # The tools make the next part, the GIL released, while this thread
        # turns the part before into Variants.
        with ThreadPoolExecutor(1) as helper:
            first = _SAMPLE_PART + 1
            while True:
                pending = helper.submit(part, first, from_seed) if first <= n else None
                convert(answer)
                if pending is None:
                    break
                answer = pending.result()
                failures.extend(answer["failures"])
                first += _SAMPLE_PART
    if skip_failures or not failures:
        return iter(rows)
    return _rows_until(rows, min(failures, key=lambda f: f["first_row"]))


def _rows_until(rows: list[Variant], failure: dict) -> Iterator[Variant]:
    """The rows before the failure's first row, then its error."""
    for row in rows:
        if row.row >= failure["first_row"]:
            break
        yield row
    raise _sample_error(failure)


def _sample_error(failure: dict) -> EngineError:
    message = failure["message"]
    line = failure["line"] if failure["file"] == "algorithm" and failure["line"] else None
    variable = failure.get("variable") or None
    if failure["kind"] == "creation":
        return AlgorithmError(message, variable=variable, line=line, seed=failure["first_seed"])
    # The engine's one message for a failure outside the algorithm's rules.
    status = -2 if message == "Unknown error occurred." else -1
    return SolveError(message, request=variable, status=status, variable=variable, line=line,
                      seed=failure["first_seed"])


@dataclass(frozen=True)
class Diagnostic:
    """One finding of ``zekalg.check``.

    Attributes:
        line: the 1-based line it is about; 0 for the text as a whole.
        severity: "error" or "warning".
        message: the explanation, as ``zekalg check`` prints it.
        source: the text it is about: "algorithm", or "base" for the
            base's own lines.
        column: the 1-based column, or 0 when none is known.
    """

    line: int
    severity: Literal["error", "warning"]
    message: str
    source: Literal["algorithm", "base"] = "algorithm"
    column: int = 0

    def __str__(self) -> str:
        where = f"line {self.line}: " if self.line else ""
        if self.source == "base":
            where = f"base {where}" if where else "base: "
        return f"{where}{self.severity}: {self.message}"


def check(algorithm: str, *, base: Union[Environment, str, None] = None,
          creations: Optional[int] = None, path: str = "FILE",
          base_path: str = "BASE") -> list[Diagnostic]:
    """The diagnostics ``zekalg check`` gives for `algorithm`, in its order.

    It reports definitions a lookup cannot reach, names and functions used
    but defined nowhere, wrong argument counts, conditions that fail often
    (measured over `creations` trial creations; None or 0: as many as the
    command makes), errors in creating and solving, and the language's
    traps. `base` is the algorithm (or the environment, whose algorithm is
    taken) it is written for. `path` and `base_path` stand for the files in
    the hints that name a seed (``zekalg solve FILE --seed S``).

    Raises:
        EncodingError: a text holds a character the engine cannot take.
        ValueError: `creations` is out of the tools' range (at most 10**5).
    """
    parsed = Algorithm(algorithm)
    base_text = _base_text(base, "check")
    base_data = Algorithm(base_text, "base").data if base_text is not None else None
    creations = _int32_argument(creations, "creations")
    path_data, base_path_data = to_engine(path, "path"), to_engine(base_path, "base_path")
    answer = _native.check(parsed.data, path_data, base_data, base_path_data,
                           creations)
    return [Diagnostic(d["line"], d["severity"], d["message"], d["source"], d.get("column", 0))
            for d in answer["diagnostics"]]


def grade(algorithm: str, seed: int, responses: Optional[Sequence[str]] = None, *,
          base: Union[Environment, str, None] = None, ascii_minus: bool = False,
          path: str = "FILE", base_path: str = "BASE") -> dict:
    """The variant of the question `algorithm` declares (its ``?`` lines)
    for `seed`, as a student sees it, and with `responses` the verdict on
    each part: the document of ``zekalg grade``, as a dict.

    The variant is the one ``zekalg solve FILE --base BASE --seed SEED``
    makes; the options of a multiple-choice part come in the variant's own
    order. The document holds "seed", "prompt", "parts" (each with "part",
    "kind", "variable", the right "answer" as shown and, by kind,
    "tolerance", "match", "options" and "right_option"), "solution" and
    "feedback"; with responses also "verdicts" (each part's "result":
    "right", "wrong" or "unreadable", with the "reason" a response could
    not be read) and "right", the number of parts answered right.

    Args:
        seed: the variant's seed, from -2**31 to 2**32 - 1.
        responses: one per part, in order, as the student typed them (a
            number may use a comma or a point as its decimal mark, and
            1.5e-4 or 1.5 x 10^-4; a choice is an option's text or its
            position, 1, 2, ... in the shown order). None: the variant only.
        base: the algorithm the question builds on (a text, or an
            ``Environment``, which stands for its algorithm).
        ascii_minus: numbers show minus as "-" instead of the en dash.
        path, base_path: stand for the files in messages.

    Raises:
        AlgorithmError: a declaration is malformed, the variant cannot be
            made, or a variable the question declares fails to solve
            (``line`` is where, when it is in the algorithm).
        ValueError: the algorithm declares no question, the number of
            responses is not the number of parts, or a response holds a
            line feed.
        EncodingError: the algorithm or the base holds a character the
            engine cannot take.
    """
    Algorithm(algorithm)  # an EncodingError that names the character
    base_text = _base_text(base, "grade")
    if base_text is not None:
        Algorithm(base_text, "base")
    checked = _checked_seed(seed)
    joined = None
    if responses is not None:
        if isinstance(responses, str):
            raise TypeError("responses must be a sequence of str, one per part, not one str")
        for i, response in enumerate(responses):
            if not isinstance(response, str):
                raise TypeError(f"responses[{i}] must be str, not {type(response).__name__}")
            if "\n" in response or "\r" in response:
                raise ValueError(f"responses[{i}] holds a line break: a response is one line")
        # One line each, its line feed included, so that empty ones count.
        joined = "".join(r + "\n" for r in responses).encode("utf-8")
    answer = _native.grade(algorithm.encode("utf-8"), path.encode("utf-8"),
                           base_text.encode("utf-8") if base_text is not None else None,
                           base_path.encode("utf-8"), checked, joined,
                           _native.ASCII_MINUS if ascii_minus else 0)
    if "error" in answer and len(answer) == 1:
        error = answer["error"]
        if error.get("line"):
            line = error["line"] if error.get("source") == "algorithm" else None
            raise AlgorithmError(error["message"], line=line, seed=checked)
        raise ValueError(error["message"])
    return answer
