"""Texts between Python and the engine, and what the tools library reads in
an algorithm.

The engine speaks Windows-1252 bytes: byte 150 is the en dash ("\u2013")
that results write as minus. The five bytes the code page leaves undefined
(129, 141, 143, 144, 157) read as the C1 control characters of the same
number, as the zekalg command reads them, so every byte has a character
and every result converts.
"""

from __future__ import annotations

import codecs
from functools import cached_property
from typing import Iterable, Optional

from . import _native
from ._errors import EncodingError

_DECODING = "".join(bytes([b]).decode("cp1252", errors="ignore") or chr(b) for b in range(256))
_ENCODING = codecs.charmap_build(_DECODING)


def to_engine(text: str, what: str) -> bytes:
    """The engine bytes of `text`; raises EncodingError naming `what`."""
    if not isinstance(text, str):
        raise TypeError(f"{what} must be str, not {type(text).__name__}")
    try:
        data = codecs.charmap_encode(text, "strict", _ENCODING)[0]
    except UnicodeEncodeError as e:
        raise EncodingError(what, text, e.start, "has no Windows-1252 byte") from None
    if b"\0" in data:
        raise EncodingError(what, text, text.index("\0"),
                            "cannot be passed: the engine's texts end at NUL")
    return data


def from_engine(data: bytes) -> str:
    return codecs.charmap_decode(data, "strict", _DECODING)[0]


class Algorithm:
    """An algorithm's text and its engine bytes, with what the tools library
    reads in it (the one reading of lines and names that the command and
    every other front end share)."""

    def __init__(self, text: str, what: str = "algorithm") -> None:
        self.text = text
        self.data = to_engine(text, what)

    @cached_property
    def names(self) -> list[tuple[bytes, str]]:
        """The variables in definition order, as (engine bytes, str): those
        ``zekalg solve FILE`` prints."""
        return [(to_engine(name, "name"), name)
                for name in _native.describe(self.data, None, None)["variables"]]

    def place(self, message: bytes) -> dict:
        """Where an engine message points in this algorithm: {"line" (0:
        nowhere), "variable" (the name in front of "NAME: ..." when this
        algorithm defines it, or None)}."""
        return _native.describe(self.data, None, message)["place"]


def message_subject(message: bytes, algorithm: Algorithm,
                    bases: Iterable[Algorithm] = ()) -> tuple[Optional[str], Optional[int]]:
    """(variable, line) of an engine message about `algorithm` (built on
    `bases`): the name in front when one of them defines it, and the line in
    `algorithm` the message is about."""
    place = algorithm.place(message)
    variable = place["variable"]
    for base in bases:
        if variable is not None:
            break
        variable = base.place(message)["variable"]
    return variable, place["line"] or None
