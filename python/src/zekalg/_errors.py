"""The package's exceptions."""

from __future__ import annotations

from typing import Optional


def _restore(cls: type, args: tuple, fields: dict) -> Error:
    error = cls.__new__(cls, *args)
    error.args = args
    error.__dict__.update(fields)
    return error


class Error(Exception):
    """Base class of every error the package raises on purpose."""

    # Rebuilt from its fields, not by calling the constructor again with
    # `args` (which lack the keyword fields): an error raised in a worker
    # process must reach the parent whole (concurrent.futures, multiprocessing).
    def __reduce__(self) -> tuple:
        return _restore, (type(self), self.args, dict(self.__dict__))


class EngineError(Error):
    """An error the engine reported; ``str(error)`` is its message.

    Attributes:
        message: the engine's message, exactly as it gave it (converted to str).
        variable: the name at the front of the message (``name: message``)
            when it is a variable or function the algorithm (or its base)
            defines, as the message writes it; otherwise None.
        line: the 1-based line of the algorithm the message is about (the
            named definition, or the condition that could not be
            satisfied), or None when it does not tell.
        seed: the seed the package gave the thread right before the
            creation (``seed=`` arguments, rows of ``zekalg.sample``), or None.
    """

    def __init__(self, message: str, *, variable: Optional[str] = None,
                 line: Optional[int] = None, seed: Optional[int] = None) -> None:
        super().__init__(message)
        self.message = message
        self.variable = variable
        self.line = line
        self.seed = seed


class AlgorithmError(EngineError):
    """An environment could not be created from an algorithm."""


class SolveError(EngineError):
    """A request could not be solved.

    Attributes (besides those of EngineError):
        request: the request that failed.
        status: the engine's status code: -1 (an error in the algorithm or
            the request) or -2 (any other failure, "Unknown error occurred.").
    """

    def __init__(self, message: str, *, request: str, status: int,
                 variable: Optional[str] = None, line: Optional[int] = None,
                 seed: Optional[int] = None) -> None:
        super().__init__(message, variable=variable, line=line, seed=seed)
        self.request = request
        self.status = status


class EncodingError(Error, ValueError):
    """A text holds a character the engine cannot take: one that has no
    Windows-1252 byte, or NUL (the engine's texts end at NUL).

    Attributes:
        what: which text ("algorithm", "request", ...).
        index: the character's 0-based index in the text.
        line, column: its 1-based line and column.
        character: the character itself.
    """

    def __init__(self, what: str, text: str, index: int, problem: str) -> None:
        self.what = what
        self.index = index
        self.line = text.count("\n", 0, index) + 1
        self.column = index - (text.rfind("\n", 0, index) + 1) + 1
        self.character = text[index]
        where = f"line {self.line}, column {self.column}" if "\n" in text else f"column {self.column}"
        super().__init__(f"{what}, {where}: character {self.character!r} "
                         f"(U+{ord(self.character):04X}) {problem}")
