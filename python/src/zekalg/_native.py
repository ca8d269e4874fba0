"""The engine's C functions (zekalg.h) and the tools' (tools.h) through
ctypes.

ctypes releases the GIL for the length of every call, so Python threads
run the engine in parallel. Each thread keeps its own result buffer; a
result that did not fit is asked for again with the size the engine
reported (the result text protocol of zekalg.h).
"""

from __future__ import annotations

import ctypes
import json
import os
import threading
from pathlib import Path
from typing import Optional

_HERE = Path(__file__).resolve().parent

FIRST_SIZE = 256
"""Size of a thread's first result buffer, in bytes."""
KEPT_SIZE = 1 << 16
"""A thread keeps a buffer that had to grow up to this size for later calls."""
MESSAGE_SIZE = 1 << 16
"""Size of the creation message buffer. A creation cannot be asked again
(it would draw again), so a longer message is cut at this size."""

_int32 = ctypes.c_int32


def _load(file_name: str, variable: str) -> ctypes.CDLL:
    """The library `variable` names in the environment; else the one next to
    this file, else one the dynamic loader finds by name (an installed
    build, LD_LIBRARY_PATH). Raises ImportError naming every path tried."""
    named = os.environ.get(variable)
    if named:
        paths = [(named, f" (named by {variable})")]
    else:
        paths = [(str(_HERE / file_name), ""), (file_name, " (the dynamic loader's search)")]
    tried = []
    for path, origin in paths:
        try:
            return ctypes.CDLL(path)
        except OSError as e:
            tried.append(f"  {path}{origin}: {e}")
    raise ImportError(f"zekalg cannot load {file_name}; tried:\n" + "\n".join(tried),
                      name=__name__)


# ZEKALG_LIBRARY may name another build of the engine library.
lib = _load("libzekalg.so", "ZEKALG_LIBRARY")
# No argtypes: every call site below passes exactly int (32-bit), bytes,
# a char array and a byref'd c_int32, and ctypes converts these fastest
# without them (about 0.8 us a call). The C types, for the record:
#   int32_t zekalg_create_environment(int32_t, const char*, char*, int32_t*)
#   int32_t zekalg_kill_environment(int32_t)
#   int32_t zekalg_solve_var(int32_t, const char*, char*, int32_t*)
#   void zekalg_seed_environment(int32_t)
for _name in ("zekalg_create_environment", "zekalg_kill_environment", "zekalg_solve_var"):
    getattr(lib, _name).restype = _int32
lib.zekalg_seed_environment.restype = None

_create = lib.zekalg_create_environment
_solve = lib.zekalg_solve_var
kill = lib.zekalg_kill_environment


class _Buffers(threading.local):
    def __init__(self) -> None:
        self.result = ctypes.create_string_buffer(FIRST_SIZE)
        self.message: Optional[ctypes.Array[ctypes.c_char]] = None
        self.length = _int32()
        self.length_ref = ctypes.byref(self.length)
        self.size = FIRST_SIZE


_buffers = _Buffers()


def seed(value: int) -> None:
    """Seeds the calling thread's generator; `value` is already checked."""
    lib.zekalg_seed_environment(value - (1 << 32) if value >= 1 << 31 else value)


def create(base_id: int, algorithm: bytes) -> tuple[int, bytes]:
    """Returns (id, b"") or (-1, the engine's message)."""
    b = _buffers
    if b.message is None:
        b.message = ctypes.create_string_buffer(MESSAGE_SIZE)
    b.length.value = MESSAGE_SIZE
    env_id = _create(base_id, algorithm, b.message, b.length_ref)
    if env_id > 0:
        return env_id, b""
    return env_id, b.message[:min(max(b.length.value, 0), MESSAGE_SIZE - 1)]


def solve(env_id: int, request: bytes) -> tuple[int, bytes]:
    """Returns (status, result bytes), asking again while the result is cut."""
    b = _buffers
    buffer, size, length = b.result, b.size, b.length
    while True:
        length.value = size
        status = _solve(env_id, request, buffer, b.length_ref)
        full = length.value
        if full < size:
            return status, buffer[:full] if full > 0 else b""
        size = full + 1
        buffer = ctypes.create_string_buffer(size)
        if size <= KEPT_SIZE:
            b.result, b.size = buffer, size


# The tools library (include/zekalg/tools.h): what the zekalg command does
# with a whole algorithm, one call per task, answered as JSON. It holds its
# own copy of the engine, so its calls never touch the seeds or the
# environments of the library above. ZEKALG_TOOLS_LIBRARY may name another
# build of it.
tools = _load("libzekalg_tools.so", "ZEKALG_TOOLS_LIBRARY")
_text_in = ctypes.c_char_p
_int64 = ctypes.c_int64
tools.zekalg_tools_sample_rows.argtypes = (_text_in, _text_in, _text_in, _text_in, _text_in,
                                           _int64, _int64, _int64, _int32, _int32)
tools.zekalg_tools_check.argtypes = (_text_in, _text_in, _text_in, _text_in, _int32, _int32)
tools.zekalg_tools_describe.argtypes = (_text_in, _text_in, _text_in, _int32)
for _name in ("zekalg_tools_sample_rows", "zekalg_tools_check", "zekalg_tools_describe"):
    getattr(tools, _name).restype = ctypes.c_void_p  # a pointer to free, not a copied bytes
# Grading came later than the rest: a library named by ZEKALG_TOOLS_LIBRARY
# may be a build without it, and everything else still works.
_grade = getattr(tools, "zekalg_tools_grade", None)
if _grade is not None:
    _grade.argtypes = (_text_in, _text_in, _text_in, _text_in, _int64, _text_in, _int32)
    _grade.restype = ctypes.c_void_p
tools.zekalg_tools_free.argtypes = (ctypes.c_void_p,)
tools.zekalg_tools_free.restype = None

ENGINE_BYTES = 1
ASCII_MINUS = 2
ROW_ARRAYS = 4
NO_SEED = -(1 << 63)


def _answer(pointer: Optional[int]) -> dict:
    """The JSON answer at `pointer`, released. A call that could not run
    (arguments the package did not catch) raises ValueError."""
    if not pointer:
        raise MemoryError("the zekalg tools ran out of memory")
    try:
        answer = json.loads(ctypes.string_at(pointer))
    finally:
        tools.zekalg_tools_free(pointer)
    if "error" in answer and len(answer) == 1:
        raise ValueError(answer["error"]["message"])
    return answer


def sample(algorithm: bytes, base: Optional[bytes], names: Optional[bytes], first_row: int,
           count: int, seed: int, threads: int, flags: int) -> dict:
    """zekalg_tools_sample_rows (the rows from `first_row` of the sample
    from `seed`) with its rows as arrays ("rows": [[row, seed, value,
    ...]]: half the text to parse of "variants"); the algorithm is
    "algorithm" and the base "base" in the answer's places."""
    return _answer(tools.zekalg_tools_sample_rows(algorithm, b"algorithm", base, b"base", names,
                                                  first_row, count, seed, threads,
                                                  flags | ENGINE_BYTES | ROW_ARRAYS))


def check(algorithm: bytes, path: bytes, base: Optional[bytes], base_path: bytes,
          creations: int) -> dict:
    """zekalg_tools_check; texts are engine bytes."""
    return _answer(tools.zekalg_tools_check(algorithm, path, base, base_path, creations,
                                            ENGINE_BYTES))


def grade(algorithm: bytes, path: bytes, base: Optional[bytes], base_path: bytes, seed: int,
          responses: Optional[bytes], flags: int) -> dict:
    """zekalg_tools_grade; texts are UTF-8 (a student's response may hold
    characters the engine's code page lacks), `responses` one per line.
    Returns the grade document, or the tools' error document as it is
    ({"error": {"message", "source", "line"}}) for the caller to raise."""
    if _grade is None:
        raise NotImplementedError(f"this build of the tools library ({tools._name}) cannot grade")
    pointer = _grade(algorithm, path, base, base_path, seed, responses, flags)
    if not pointer:
        raise MemoryError("the zekalg tools ran out of memory")
    try:
        return json.loads(ctypes.string_at(pointer))
    finally:
        tools.zekalg_tools_free(pointer)


def describe(algorithm: bytes, base: Optional[bytes], message: Optional[bytes]) -> dict:
    """zekalg_tools_describe: {"variables": [names]}, and with a message
    "place": {"source", "line", "variable"}; texts are engine bytes."""
    return _answer(tools.zekalg_tools_describe(algorithm, base, message, ENGINE_BYTES))
