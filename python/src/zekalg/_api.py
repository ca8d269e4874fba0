"""Environments, variants and diagnostics."""

from __future__ import annotations

import secrets
import weakref
from dataclasses import dataclass
from typing import Iterator, Literal, Optional, Union

from . import _native
from ._errors import AlgorithmError, SolveError
from ._text import Algorithm, from_engine, message_subject, to_engine

_EN_DASH = "\u2013"
_SEED_LOW, _SEED_HIGH = -(1 << 31), (1 << 32) - 1
_MASK64 = (1 << 64) - 1


def _checked_seed(value: int) -> int:
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError(f"a seed must be int, not {type(value).__name__}")
    if not _SEED_LOW <= value <= _SEED_HIGH:
        raise ValueError(f"a seed must lie in [{_SEED_LOW}, {_SEED_HIGH}], not {value}")
    return value & 0xFFFFFFFF


def seed(value: int) -> None:
    """Seeds the calling thread's random generator.

    The thread's next draw, normally that of the next environment it
    creates, starts from it: the same seed and algorithm bring back the same
    variant, whatever other threads and environments do. `value` is a
    32-bit seed, from -2**31 to 2**32 - 1 (negative values stand for their
    unsigned bits), as ``zekalg solve --seed`` takes it. A thread that never
    seeded draws from the clock. Nearby seeds (1, 2, 3, ...) draw nearly the
    same first values: spread them, e.g. ``n * 2654435761 % 2**32``
    (docs/seeds.md says what fixes a variant).
    """
    _native.seed(_checked_seed(value))


def _row_seed(base: int, row: int) -> int:
    """The seed of row `row` (1-based) of a sample started from `base`,
    as ``zekalg sample`` mixes it (row_seed in cli/sample_command.cpp)."""
    z = (base + 0x9E3779B97F4A7C15 * row) & _MASK64
    z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & _MASK64
    z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & _MASK64
    return (z ^ (z >> 31)) >> 32


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
        return f"<zekalg.Environment {state}, {len(self._algorithm.lines)} lines>"

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


def sample(algorithm: str, n: int, *, seed: Optional[int] = None,
           base: Union[Environment, str, None] = None, ascii_minus: bool = False,
           skip_failures: bool = False) -> Iterator[Variant]:
    """Yields `n` variants of `algorithm`, each created after seeding with
    its own row seed, with every variable solved.

    The row seeds are those of ``zekalg sample FILE -n N --seed SEED``, so
    ``zekalg solve FILE --seed S`` (or ``Environment(algorithm, seed=S)``)
    brings back the variant whose ``seed`` is S. Without `seed` the rows
    start from a random one.

    Args:
        base: every variant builds on this environment (an ``Environment``,
            or an algorithm text from which one base environment is created
            when iteration starts and killed when it ends). A row then comes
            back with ``Environment(algorithm, base=the_same_base, seed=S)``.
        ascii_minus: results write minus as "-" (see ``Environment``).
        skip_failures: leave out the rows whose creation or solving fails
            instead of raising (their row numbers are then missing).

    Raises:
        AlgorithmError, SolveError: a row failed; the error's ``seed`` is
            that row's.
        EncodingError: a text holds a character the engine cannot take.

    The variants are made while iterating, on the iterating thread.
    """
    if isinstance(n, bool) or not isinstance(n, int):
        raise TypeError(f"n must be int, not {type(n).__name__}")
    if n < 0:
        raise ValueError(f"n must not be negative, not {n}")
    parsed = Algorithm(algorithm)
    base_algorithm = Algorithm(base, "base") if isinstance(base, str) else None
    if base is not None and not isinstance(base, (Environment, str)):
        raise TypeError(f"base must be an Environment or an algorithm text, "
                        f"not {type(base).__name__}")
    if seed is not None:
        _checked_seed(seed)
    # A negative seed starts from its 64-bit unsigned bits, as in the command.
    start = seed & _MASK64 if seed is not None else secrets.randbits(32)
    return _variants(parsed, n, start, base if isinstance(base, Environment) else None,
                     base_algorithm, ascii_minus, skip_failures)


def _variants(algorithm: Algorithm, n: int, start: int, base: Optional[Environment],
              base_algorithm: Optional[Algorithm], ascii_minus: bool,
              skip_failures: bool) -> Iterator[Variant]:
    own_base = None
    if base_algorithm is not None:
        own_base = base = Environment._build(base_algorithm, None, None, False)
    try:
        base_id = base._live_id() if base is not None else 0
        bases = [base._algorithm, *base._bases] if base is not None else []
        names = algorithm.names
        create, solve, kill = _native.create, _native.solve, _native.kill
        for row in range(1, n + 1):
            row_seed = _row_seed(start, row)
            _native.seed(row_seed)
            env_id, message = create(base_id, algorithm.data)
            if env_id <= 0:
                if skip_failures:
                    continue
                raise _creation_error(message, algorithm, bases, row_seed)
            variant = Variant(row, row_seed)
            try:
                for data, name in names:
                    status, result = solve(env_id, data)
                    if status != 0:
                        raise _solve_error(status, result, name, algorithm, bases, row_seed)
                    text = from_engine(result)
                    variant[name] = text.replace(_EN_DASH, "-") if ascii_minus else text
            except SolveError:
                if skip_failures:
                    continue
                raise
            finally:
                kill(env_id)
            yield variant
    finally:
        if own_base is not None:
            own_base.close()


@dataclass(frozen=True)
class Diagnostic:
    """One finding of ``zekalg.check``.

    Attributes:
        line: the 1-based line of the algorithm it is about; 0 for the
            algorithm as a whole.
        severity: "error" or "warning".
        message: the explanation, as ``zekalg check`` prints it.
    """

    line: int
    severity: Literal["error", "warning"]
    message: str

    def __str__(self) -> str:
        where = f"line {self.line}: " if self.line else ""
        return f"{where}{self.severity}: {self.message}"


def check(algorithm: str, *, base: Union[Environment, str, None] = None,
          creations: int = 300, path: str = "FILE",
          base_path: str = "BASE") -> list[Diagnostic]:
    """The diagnostics ``zekalg check`` gives for `algorithm`, in line order.

    It reports definitions a lookup cannot reach, names and functions used
    but defined nowhere, wrong argument counts, conditions that fail often
    (measured over `creations` trial creations), errors in creating and
    solving, and the language's traps. `base` is the algorithm (or the
    environment, whose algorithm is taken) it is written for. `path` and
    `base_path` stand for the files in the hints that name a seed
    (``zekalg solve FILE --seed S``).

    Raises:
        EncodingError: a text holds a character the engine cannot take.
        RuntimeError: the package was built without the diagnostics.
    """
    parsed = Algorithm(algorithm)
    if isinstance(base, Environment):
        base = base.algorithm
    base_data = Algorithm(base, "base").data if base is not None else None
    if isinstance(creations, bool) or not isinstance(creations, int) or creations < 0:
        raise ValueError(f"creations must be an int of at least 0, not {creations!r}")
    found = _native.check(parsed.data, to_engine(path, "path"), base_data,
                          to_engine(base_path, "base_path"), min(creations, 1 << 30))
    return [Diagnostic(d["line"], "error" if d["error"] else "warning", d["text"]) for d in found]
