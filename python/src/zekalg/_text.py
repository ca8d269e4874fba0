"""Texts between Python and the engine, and what the package reads in an
algorithm.

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


_VARIABLE_KINDS = (b"k", b"q", b"r", b"l")


class Algorithm:
    """An algorithm's text, its engine bytes and its definition lines, split
    the way the engine splits them.

    The lines, names and message lines follow the tools' own
    (tools/algorithm_file.cpp, variable_names in tools/variant.cpp), which
    tools.h does not export; tests/test_command_agreement.py keeps the two
    in step. Only Environment uses them: sample and check go through the
    tools library."""

    def __init__(self, text: str, what: str = "algorithm") -> None:
        self.text = text
        self.data = to_engine(text, what)

    @cached_property
    def lines(self) -> list[tuple[int, bytes]]:
        """(1-based line number, line) for every line that is not empty once
        the carriage returns at both ends are gone."""
        found = []
        for number, line in enumerate(self.data.split(b"\n"), 1):
            line = line.strip(b"\r")
            if line:
                found.append((number, line))
        return found

    @cached_property
    def names(self) -> list[tuple[bytes, str]]:
        """The variables in definition order, as (engine bytes, str): lines
        k_, q_, r_, l_ with a "|"; the first definition of a name counts,
        names compared case-blind."""
        names = []
        seen = set()
        for _, line in self.lines:
            if line[1:2] != b"_" or line[0:1] not in _VARIABLE_KINDS:
                continue
            bar = line.find(b"|")
            if bar < 0:
                continue
            name = line[2:bar]
            if name.lower() not in seen:
                seen.add(name.lower())
                names.append((name, from_engine(name)))
        return names

    def line_of_name(self, name: bytes, function: bool = False) -> int:
        """The line defining variable (or function) `name`, or 0."""
        wanted = name.lower()
        for number, line in self.lines:
            if function:
                if not line.startswith(b"f_"):
                    continue
            elif line[1:2] != b"_" or line[0:1] not in _VARIABLE_KINDS:
                continue
            bar = line.find(b"|")
            if bar >= 0 and line[2:bar].lower() == wanted:
                return number
        return 0

    def line_of_condition(self, message: bytes) -> int:
        """The line of the condition a "condition X could not be satisfied"
        message is about, or 0."""
        before, after = b"condition ", b" could not be satisfied"
        if not (message.startswith(before) and message.endswith(after)
                and len(message) > len(before) + len(after)):
            return 0
        body = message[len(before):-len(after)]
        for number, line in self.lines:
            bar = line.find(b"|")
            if line.startswith(b"c_") and bar >= 0 and line[bar + 1:] == body:
                return number
        return 0


def message_subject(message: bytes, algorithm: Algorithm,
                    bases: Iterable[Algorithm] = ()) -> tuple[Optional[str], Optional[int]]:
    """(variable, line) of an engine message about `algorithm` (built on
    `bases`): the name in front when one of them defines it, and the line in
    `algorithm` the message is about."""
    line = algorithm.line_of_condition(message)
    if line:
        return None, line
    colon = message.find(b": ")
    if colon <= 0:
        return None, None
    name = message[:colon]
    for source in (algorithm, *bases):
        found = source.line_of_name(name) or source.line_of_name(name, function=True)
        if found:
            return from_engine(name), found if source is algorithm else None
    return None, None
