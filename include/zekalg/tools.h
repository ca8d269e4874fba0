/*
 * zekalg tools: what the zekalg command does with an algorithm, for
 * bindings (Python, JavaScript through WebAssembly, any host with a C FFI).
 *
 *   zekalg_tools_variant  one variant: each request, or every variable, with
 *                         each failure's own error and line
 *   zekalg_tools_sample   many variants from one seed, with the failures, the
 *                         distinct count and a histogram per variable
 *   zekalg_tools_check    what an author should fix before publishing
 *   zekalg_tools_test     a question test: compare a test file, or record one
 *   zekalg_tools_describe the variables an algorithm defines, and where an
 *                         engine message points
 *   zekalg_tools_grade    a declared question's variant as a student sees it,
 *                         and the verdict on a student's answers
 *
 * libzekalg_tools is a library of its own with its own copy of the engine;
 * the six exports of libzekalg stay as they are and share nothing with it.
 * Every function may be called from any thread.
 *
 * Texts in: NUL-terminated UTF-8; with ZEKALG_TOOLS_ENGINE_BYTES in `flags`,
 * the engine's own Windows-1252 bytes. `algorithm` and `base` are algorithm
 * texts (a null or empty `base`: no base environment); `path` and
 * `base_path` name them in messages and in a test file's lines (null:
 * "algorithm.alg" and "base.alg", as the service names them).
 * Lists of names or requests are one per line ("\n"); null or empty means
 * every variable of the algorithm, in definition order.
 *
 * Seeds: a variant's `seed` is any value from -2^31 to 2^32 - 1 (a negative
 * one is taken as its 32-bit pattern); a sample's is any 64-bit value, as
 * `zekalg sample --seed` takes it. ZEKALG_TOOLS_NO_SEED picks one at
 * random, and the answer says which. A variant, and every row of a sample, is made as
 * `zekalg solve FILE --base BASE --seed S` makes it, so its seed brings it
 * back anywhere.
 *
 * Answers: a JSON document in UTF-8 (numbers keep the engine's en dash for
 * minus unless ZEKALG_TOOLS_ASCII_MINUS is given), allocated by the library:
 * release it with zekalg_tools_free. Null only when memory ran out. A call
 * that cannot run answers {"error": {"message": M, "source": S, "line": L}}:
 * a text that is not UTF-8 or holds a NUL, a name the algorithm does not
 * define, a count out of range. Every place in an answer is given as
 * "source" ("algorithm" or "base") and "line" (1-based; 0 when none is
 * known); "column" (1-based) is added where one is known.
 *
 * The documents (fields of errors and failures as above):
 *
 * variant: {"seed": S, "created": true|false,
 *           "error": {"message", "source", "line"}        (creation failed)
 *           "results": [{"request", "status": "ok"|"error"|"unknown",
 *                        "text" | "message", "source", "line"}],
 *           "failures": {"errors": [{"variable", "message", "source", "line"}],
 *                        "cascade": [{"variable"}]}}      (every variable)
 *
 * sample:  {"file", "base", "seed", "variables": [names],
 *           "variants": [{"row", "seed", "values": {name: text}}],
 *           "failures": [{"kind": "creation"|"variable", "variable",
 *                         "message", "count", "first_row", "first_seed",
 *                         "file", "line"}],
 *           "cascade": [{"variable", "count"}],
 *           "histograms": {name: {"kind": "values"|"bins"|"text",
 *                                 "distinct", "min", "max",
 *                                 "bars": [{"label", "count", ...}]}},
 *           "summary": {"made", "failed", "distinct"}, "seconds"}
 *
 * With ZEKALG_TOOLS_ROW_ARRAYS a sample gives "rows": [[row, seed, value,
 * ...]] (values in the order of "variables") in place of "variants": about
 * half the text to read for a binding that makes rows of its own.
 *
 * variant and sample documents add "warnings": [{"source", "line",
 * "column", "message"}] when the texts hold characters a formula cannot
 * read as meant (tabs, non-breaking spaces, curly quotes, ...).
 *
 * check:   {"diagnostics": [{"source", "line", "column", "severity":
 *                            "error"|"warning", "message"}],
 *           "errors": N, "warnings": N}
 *
 * grade:   {"seed": S, "prompt": text or null,
 *           "parts": [{"part": 1.., "kind": "numeric"|"text"|"choice",
 *                      "variable", "tolerance" (numeric; "" for as shown),
 *                      "match": "exact"|"loose" (text),
 *                      "options": [texts in the variant's order] (choice),
 *                      "answer": the right answer as shown,
 *                      "right_option": its position in "options", from 1
 *                                      (choice)}],
 *           "solution": text or null, "feedback": text or null,
 *           with responses also
 *           "verdicts": [{"part", "result": "right"|"wrong"|"unreadable",
 *                         "reason": what the answer must be (unreadable)}],
 *           "right": the parts answered right}
 *
 * test:    comparing: {"passed": true|false, "variants": [{"seed", "line",
 *                      "passed", "expected": [lines], "actual": [lines]}]}
 *          recording: {"text": the test file, "failed": variants that met
 *                      an error}
 *          (the test's "@base" line is not read: the caller gives `base`)
 */
#ifndef ZEKALG_TOOLS_H
#define ZEKALG_TOOLS_H

#include <stdint.h>

#if defined(_WIN32)
#if defined(ZEKALG_TOOLS_BUILDING)
#define ZEKALG_TOOLS_API __declspec(dllexport)
#else
#define ZEKALG_TOOLS_API
#endif
#else
#if defined(ZEKALG_TOOLS_BUILDING)
#define ZEKALG_TOOLS_API __attribute__((visibility("default")))
#else
#define ZEKALG_TOOLS_API
#endif
#endif

/* Flags, or-ed together. */
#define ZEKALG_TOOLS_ENGINE_BYTES 1 /* texts in are Windows-1252 bytes */
#define ZEKALG_TOOLS_ASCII_MINUS 2  /* results show '-' for the en dash of minus */
#define ZEKALG_TOOLS_ROW_ARRAYS 4   /* a sample's rows as arrays (below) */

/* `seed` for "pick one at random". */
#define ZEKALG_TOOLS_NO_SEED INT64_MIN

#ifdef __cplusplus
extern "C" {
#endif

/* One variant of `algorithm` built on `base` after `seed`; `requests` are
 * solved in order (none: every variable). */
ZEKALG_TOOLS_API char* zekalg_tools_variant(const char* algorithm, const char* path,
                                            const char* base, const char* base_path,
                                            const char* requests, int64_t seed, int32_t flags);

/* `count` rows (1 to 10^7) from `seed`, showing `names`, spread over
 * `threads` threads (0: the machine's cores). The rows are the same, in
 * the same order, for any number of threads. */
ZEKALG_TOOLS_API char* zekalg_tools_sample(const char* algorithm, const char* path,
                                           const char* base, const char* base_path,
                                           const char* names, int64_t count, int64_t seed,
                                           int32_t threads, int32_t flags);

/* zekalg_tools_sample for the rows `first_row` (1 to 10^12) to first_row +
 * count - 1 of the sample from `seed`: a host can take a long sample in
 * parts, and work on one part while the next is made. The histograms and
 * counts are the part's. */
ZEKALG_TOOLS_API char* zekalg_tools_sample_rows(const char* algorithm, const char* path,
                                                const char* base, const char* base_path,
                                                const char* names, int64_t first_row, int64_t count,
                                                int64_t seed, int32_t threads, int32_t flags);

/* The diagnostics of `zekalg check`, with `creations` trial creations
 * (0: the command's default), and "variants": how many different variants
 * the question has ({"count", "exact", "combinations", "satisfying",
 * "sampled" when estimated, "prompts" and "answers" when declared,
 * "summary"}). */
ZEKALG_TOOLS_API char* zekalg_tools_check(const char* algorithm, const char* path, const char* base,
                                          const char* base_path, int32_t creations, int32_t flags);

/* With a `test` text (a .test file): every variant it holds, solved again
 * and compared. With a null `test`: a new test file of `seeds` variants
 * (requests: every variable). */
ZEKALG_TOOLS_API char* zekalg_tools_test(const char* algorithm, const char* path, const char* base,
                                         const char* base_path, const char* test, int32_t seeds,
                                         int32_t flags);

/* The variables `algorithm` defines, in definition order, and with a
 * `message` (an engine message; null: none) where it points:
 * {"variables": [names],
 *  "place": {"source", "line", "variable": the name in front of
 *            "NAME: ..." when the algorithm or the base defines it, or null}}
 * For bindings that keep environments of libzekalg and explain their
 * errors the way the command does. */
ZEKALG_TOOLS_API char* zekalg_tools_describe(const char* algorithm, const char* base,
                                             const char* message, int32_t flags);

/* A declared question's variant for `seed`, made as zekalg_tools_variant
 * makes it, as a student sees it: the texts shown, each choice part's
 * options in the variant's order (shuffled with the variant's own draws:
 * one seed, one order), and the right answers. With `responses` (one per
 * part, in order, one line each: "\n" ends each, and may be left off the
 * last; "" holds none; null: no grading) also the verdict on each: a
 * number may use a comma or a point as its decimal mark where that is
 * unambiguous ("1,234" is refused), a leading '-' or U+2212, and 1.5e-4 or
 * 1.5 x 10^-4 (also with '*', U+00D7 or U+00B7); a text is compared exactly
 * or loosely as declared; a choice is an option's text as shown (which wins)
 * or its position from 1.
 * A file that declares no question (or a malformed declaration), a variant
 * that cannot be made, a declared variable that fails and a number of
 * responses other than the parts' ("3 responses for 2 parts") answer the
 * error document. */
ZEKALG_TOOLS_API char* zekalg_tools_grade(const char* algorithm, const char* path, const char* base,
                                          const char* base_path, int64_t seed,
                                          const char* responses, int32_t flags);

/* The seed of row `row` (1-based) of a sample started from `seed`. */
ZEKALG_TOOLS_API uint32_t zekalg_tools_row_seed(uint64_t seed, uint64_t row);

/* Releases an answer; null is fine. */
ZEKALG_TOOLS_API void zekalg_tools_free(char* answer);

#ifdef __cplusplus
}
#endif

#endif /* ZEKALG_TOOLS_H */
