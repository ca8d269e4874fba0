"""zekalg: the engine for algorithmic questions, from Python.

An *algorithm* is a text of definition lines (constants ``k_``, formulas
``q_``, random ``r_`` and list ``l_`` variables, conditions ``c_``,
functions ``f_``). An environment draws its random values until every
condition holds and answers requests with display text; the same seed
brings back the same variant::

    import zekalg

    with zekalg.Environment("r_a|1|9\\nq_sq|a^2|0", seed=2026) as env:
        env.solve("sq")          # '4'
        env.solve("-a")          # '\u20132': results write minus as the en dash
        env.solve_all()          # {'a': '2', 'sq': '4'}

    for variant in zekalg.sample(algorithm, 100, seed=1):
        variant.seed, variant["sq"]

    for d in zekalg.check(algorithm):
        print(d.line, d.severity, d.message)

    zekalg.grade(question, seed=7, responses=["12.5"])["verdicts"]

Texts are str in and out (the engine's Windows-1252 bytes are converted).
Every call may come from any thread; calls release the GIL while the
engine works, and seeds belong to the calling thread.
"""

from ._api import Diagnostic, Environment, Variant, check, grade, sample, seed
from ._errors import AlgorithmError, EncodingError, EngineError, Error, SolveError

__all__ = [
    "AlgorithmError",
    "Diagnostic",
    "EncodingError",
    "EngineError",
    "Environment",
    "Error",
    "SolveError",
    "Variant",
    "check",
    "grade",
    "sample",
    "seed",
]

for _public in (AlgorithmError, Diagnostic, EncodingError, EngineError, Environment, Error,
                SolveError, Variant):
    _public.__module__ = __name__

try:
    from importlib.metadata import version as _version

    __version__ = _version("zekalg")
except Exception:  # not installed (run from the source tree)
    __version__ = "0.0.0"
