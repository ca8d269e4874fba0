/* The Win32-versus-Linux comparison: one host program, built natively and
 * for Windows, draws random algorithms and requests from a seed, runs them
 * through the library's C functions and writes every status, text and
 * length. The same seed and count must give byte-identical output from the
 * Linux library and from the DLL under Wine.
 *
 *   differential_host run LIBRARY SEED FIRST COUNT OUTPUT
 *     loads LIBRARY (dlopen or LoadLibrary) and writes cases FIRST to
 *     FIRST + COUNT - 1 of the series SEED to OUTPUT. Each case is drawn
 *     from its own generator, so one case can be run again alone
 *     (FIRST = its number, COUNT = 1).
 *
 *   differential_host compare LINUX WINDOWS [SHOWN]
 *     compares two outputs case by case; prints the first SHOWN (default
 *     3) differing cases in full and the count; exits 1 when any differ or
 *     either output is cut short.
 *
 * A case seeds the generator, sometimes creates a base environment, creates
 * an environment (on the base or alone), solves two to six requests and
 * kills what it created. The algorithms mix every kind of line and every
 * built-in with number literals of every form (decimals, exponents, the en
 * dash, values past the 32-bit range), arguments that are multiples of pi,
 * lists, conditions and user functions. Environment ids are not written:
 * they count across processes.
 */
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "conformance/conformance.h"

/* ---- the generator: splitmix64, the same on every platform ---- */

static uint64_t g_state;

static uint64_t next64(void) {
  uint64_t z = (g_state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

/* C leaves the order of a call's arguments open, and compilers differ (the
 * x86 ones evaluate them last to first, aarch64's first to last): a call
 * takes at most one argument that draws, and the other draws are made
 * before it, last argument first, the order in which the series was first
 * drawn. */

/* 0 .. n-1 */
static int below(int n) { return (int)(next64() % (uint64_t)n); }
static int chance(int percent) { return below(100) < percent; }
static const char* pick(const char* const* items, int count) { return items[below(count)]; }
#define PICK(array) pick(array, (int)(sizeof(array) / sizeof(array[0])))

/* ---- growing text ---- */

struct text {
  char* bytes;
  size_t length, capacity;
};

static void add(struct text* t, const char* format, ...) {
  va_list args;
  int n;
  for (;;) {
    size_t room = t->capacity - t->length;
    va_start(args, format);
    n = vsnprintf(t->bytes + t->length, room, format, args);
    va_end(args);
    if (n < 0) abort();
    if ((size_t)n < room) break;
    t->capacity = 2 * t->capacity + (size_t)n + 64;
    t->bytes = (char*)realloc(t->bytes, t->capacity);
    if (t->bytes == NULL) abort();
  }
  t->length += (size_t)n;
}

static void clear(struct text* t) {
  t->length = 0;
  if (t->bytes != NULL) t->bytes[0] = '\0';
}

/* ---- the algorithm language ---- */

/* What the case has defined so far: names and whether they hold text. */
struct names {
  const char* name[16];
  int is_text[16];
  int count;
  int has_square, has_hypotenuse, has_label;
};

static const char* const kVariableNames[] = {"a", "b", "c", "d", "g", "h",
                                             "m", "n", "p", "s", "t", "w"};

static const char* const kUnary[] = {
    "abs",   "acos", "acosh", "acot",  "acoth",   "acsc", "acsch", "asec", "asech", "asin",
    "asinh", "atan", "atanh", "ceil",  "ceiling", "cos",  "cosh",  "cot",  "coth",  "csc",
    "csch",  "deg",  "exp",   "floor", "int",     "inv",  "ln",    "log",  "log10", "rad",
    "sec",   "sech", "sgn",   "sin",   "sinh",    "sqr",  "sqrt",  "tan",  "tanh"};
static const char* const kTrig[] = {"sin", "cos", "tan", "sec", "csc", "cot"};
static const char* const kInverse[] = {"asin",  "acos",  "atan",  "asec",  "acsc",  "acot",
                                       "asinh", "acosh", "atanh", "asech", "acsch", "acoth"};
static const char* const kArithmetic[] = {"+", "-", "*", "/", "^", "\\", " mod ", " rem "};
static const char* const kComparison[] = {"<", ">", "<=", ">=", "=", "<>", "=<", "=>", "=="};
static const char* const kLogic[] = {" and ", " or ", " xor ", " eqv ", " imp "};

/* Decimals, exponent forms and extremes that read or print differently
 * when intermediate results are kept wider than a double. */
static const char* const kSpecialNumbers[] = {"0.1",
                                              "0.2",
                                              "0.3",
                                              "1.005",
                                              "2.675",
                                              "0.125",
                                              "3.14159",
                                              "0.000015",
                                              "1e300",
                                              "-1e300",
                                              "1.5e-7",
                                              "2.5e10",
                                              "6.02e23",
                                              "1e308",
                                              "1e-300",
                                              "9.99e22",
                                              "1E5",
                                              "123e-2",
                                              "1e-320",
                                              "4294967296",
                                              "2147483647",
                                              "99999999999",
                                              "123456789",
                                              "1e22",
                                              "1e23",
                                              "0.1e1",
                                              "12345678901234567890",
                                              "1.7976931348623157e308",
                                              "5e-324",
                                              "2.2250738585072014e-308",
                                              "0.30000000000000004",
                                              "9007199254740993",
                                              "1e-5",
                                              "1e15",
                                              "1e16",
                                              "123.456e7"};

static void number(struct text* t) {
  switch (below(9)) {
    case 0:
    case 1:
      add(t, "%d", below(13));
      break;
    case 2:
      add(t, "%d", below(1001));
      break;
    case 3: {
      const int fraction = below(1000), width = 1 + below(3);
      add(t, "%d.%0*d", below(100), width, fraction);
      break;
    }
    case 4: {
      const int fraction = below(1000000);
      add(t, "%d.%06d", below(10), fraction);
      break;
    }
    case 5:
      add(t, "%s", PICK(kSpecialNumbers));
      break;
    case 6: {
      const int exponent = below(41) - 20;
      add(t, "%de%d", 1 + below(9), exponent);
      break;
    }
    case 7: {
      const int fraction = below(100);
      add(t, "\x96%d.%d", below(50), fraction); /* the en dash */
      break;
    }
    default:
      add(t, "-%d", 1 + below(99));
      break;
  }
}

static int numeric_name(const struct names* n) {
  int tries;
  for (tries = 0; tries < 4 && n->count > 0; ++tries) {
    int i = below(n->count);
    if (!n->is_text[i]) return i;
  }
  return -1;
}

static void expression(struct text* t, const struct names* n, int depth);
static void text_expression(struct text* t, const struct names* n, int depth);

/* Arguments near where the trigonometric functions are hard: multiples of
 * pi and degrees turned into radians. */
static void angle(struct text* t, const struct names* n, int depth) {
  switch (below(6)) {
    case 0:
      add(t, "pi");
      break;
    case 1:
      add(t, "%d*pi", below(41) - 20);
      break;
    case 2:
      add(t, "pi/%d", 1 + below(12));
      break;
    case 3: {
      const int divisor = 1 + below(12);
      add(t, "%d*pi/%d", below(21) - 10, divisor);
      break;
    }
    case 4:
      add(t, "rad(%d)", 15 * below(49) - 360);
      break;
    default:
      expression(t, n, depth - 1);
      break;
  }
}

static void condition(struct text* t, const struct names* n, int depth) {
  switch (below(4)) {
    case 0:
      expression(t, n, depth - 1);
      add(t, "%s", PICK(kComparison));
      expression(t, n, depth - 1);
      break;
    case 1:
      add(t, "not (");
      condition(t, n, depth - 1);
      add(t, ")");
      break;
    case 2:
      add(t, "(");
      condition(t, n, depth - 1);
      add(t, ")%s(", PICK(kLogic));
      condition(t, n, depth - 1);
      add(t, ")");
      break;
    default:
      add(t, "%s", chance(50) ? "true" : "false");
      break;
  }
}

static void leaf(struct text* t, const struct names* n) {
  int i;
  switch (below(10)) {
    case 0:
    case 1:
    case 2:
      i = numeric_name(n);
      if (i >= 0) {
        add(t, "%s", n->name[i]);
        break;
      }
      /* fall through */
    case 3:
      add(t, "%s", chance(70) ? "pi" : "e");
      break;
    default:
      number(t);
      break;
  }
}

static void expression(struct text* t, const struct names* n, int depth) {
  if (depth <= 0 || chance(25)) {
    leaf(t, n);
    return;
  }
  switch (below(20)) {
    case 0:
    case 1:
    case 2:
    case 3:
      add(t, "(");
      expression(t, n, depth - 1);
      add(t, "%s", PICK(kArithmetic));
      expression(t, n, depth - 1);
      add(t, ")");
      break;
    case 4:
    case 5:
    case 6:
      add(t, "%s(", PICK(kUnary));
      expression(t, n, depth - 1);
      add(t, ")");
      break;
    case 7:
      add(t, "%s(", PICK(kTrig));
      angle(t, n, depth);
      add(t, ")");
      break;
    case 8:
      add(t, "%s(", PICK(kInverse));
      if (chance(60)) {
        const int fraction = below(100), whole = below(3);
        add(t, "%s%d.%d", chance(30) ? "-" : "", whole, fraction);
      } else {
        expression(t, n, depth - 1);
      }
      add(t, ")");
      break;
    case 9:
      if (chance(70)) {
        add(t, "%d!", below(26));
      } else {
        const int k = below(30), m = below(60);
        add(t, "%s(%d,%d)", chance(50) ? "combin" : "perm", m, k);
      }
      break;
    case 10:
      add(t, "%s(", PICK(((const char* const[]){"pow", "logb", "logn"})));
      expression(t, n, depth - 1);
      add(t, ",");
      expression(t, n, depth - 1);
      add(t, ")");
      break;
    case 11:
      add(t, "round(");
      expression(t, n, depth - 1);
      if (chance(60))
        add(t, ",%s",
            PICK(((const char* const[]){"0.01", "0.1", "0.5", "5", "0.25", "-2", "0.001"})));
      add(t, ")");
      break;
    case 12:
      add(t, "%s(", chance(50) ? "max" : "min");
      expression(t, n, depth - 1);
      add(t, ",");
      expression(t, n, depth - 1);
      if (chance(50)) {
        add(t, ",");
        expression(t, n, depth - 1);
      }
      add(t, ")");
      break;
    case 13:
      add(t, "if(");
      condition(t, n, depth - 1);
      add(t, ",");
      expression(t, n, depth - 1);
      add(t, ",");
      expression(t, n, depth - 1);
      add(t, ")");
      break;
    case 14:
      add(t, "choose(%d,", chance(90) ? 1 + below(3) : 4);
      expression(t, n, depth - 1);
      add(t, ",");
      expression(t, n, depth - 1);
      add(t, ",");
      expression(t, n, depth - 1);
      add(t, ")");
      break;
    case 15:
      if (n->has_square) {
        add(t, "sq(");
        expression(t, n, depth - 1);
        add(t, ")");
      } else if (n->has_hypotenuse) {
        add(t, "hyp(");
        expression(t, n, depth - 1);
        add(t, ",");
        expression(t, n, depth - 1);
        add(t, ")");
      } else {
        const int high = below(100);
        add(t, "rand(%d,%d)", below(10), high);
      }
      break;
    case 16:
      add(t, "(");
      condition(t, n, depth - 1);
      add(t, ")");
      break;
    case 17:
      add(t, "%s(", PICK(((const char* const[]){"val", "len", "asc"})));
      text_expression(t, n, depth - 1);
      add(t, ")");
      break;
    case 18:
      add(t, "-");
      expression(t, n, depth - 1);
      break;
    default:
      add(t, "unique(");
      expression(t, n, depth - 1);
      add(t, ",");
      expression(t, n, depth - 1);
      add(t, ")");
      break;
  }
}

static void text_expression(struct text* t, const struct names* n, int depth) {
  int i;
  switch (depth <= 0 ? 0 : below(9)) {
    case 0:
      for (i = 0; i < n->count; ++i)
        if (n->is_text[i] && chance(50)) {
          add(t, "%s", n->name[i]);
          return;
        }
      add(t, "\"%s\"",
          PICK(((const char* const[]){"abc", " x y ", "12.5", "3e2",
                                      "\x96"
                                      "7",
                                      "A \"\"q\"\"", "", "0.1"})));
      break;
    case 1:
    case 2:
      add(t, "str(");
      expression(t, n, depth - 1);
      if (chance(70)) add(t, ",%d", below(21) - 1);
      if (chance(40)) add(t, ",%d", below(2));
      if (chance(30)) add(t, ",%d", below(2));
      add(t, ")");
      break;
    case 3:
      text_expression(t, n, depth - 1);
      add(t, " & ");
      text_expression(t, n, depth - 1);
      break;
    case 4:
      add(t, "%s(", PICK(((const char* const[]){"ucase", "lcase", "trim", "ltrim", "rtrim"})));
      text_expression(t, n, depth - 1);
      add(t, ")");
      break;
    case 5:
      add(t, "%s(", chance(50) ? "left" : "right");
      text_expression(t, n, depth - 1);
      add(t, ",%d)", below(6));
      break;
    case 6:
      add(t, "mid(");
      text_expression(t, n, depth - 1);
      {
        const int count = below(6);
        add(t, ",%d,%d)", 1 + below(5), count);
      }
      break;
    case 7:
      add(t, "chr(%d) & str(instr(", 33 + below(90));
      text_expression(t, n, depth - 1);
      add(t, ",\"%s\"))", PICK(((const char* const[]){"x", "1", ".", "e"})));
      break;
    default:
      if (n->has_label) {
        add(t, "label(");
        expression(t, n, depth - 1);
        add(t, ")");
      } else {
        add(t, "\"%d\" & str(", below(10));
        expression(t, n, depth - 1);
        add(t, ")");
      }
      break;
  }
}

/* A format field: decimals, scientific, grouping (each may be absent). */
static void format_fields(struct text* t) {
  static const char* const kDecimals[] = {"0",  "1",  "2",  "3",  "4", "6",
                                          "10", "15", "17", "20", "-1"};
  if (chance(45)) return;
  add(t, "|%s", PICK(kDecimals));
  if (chance(50)) return;
  add(t, "|%d", below(2));
  if (chance(50)) return;
  add(t, "|%d", below(2));
}

/* One line of an algorithm; `n` gains what it defines. */
static void line(struct text* t, struct names* n) {
  const char* name = PICK(kVariableNames);
  int is_text = 0;
  int kind = below(20);
  if (kind < 5) {
    add(t, "r_%s|", name);
    switch (below(4)) {
      case 0: {
        const int high = below(30);
        add(t, "%d|%d", below(10) - 5, high);
        break;
      }
      case 1: {
        const char* const step =
            PICK(((const char* const[]){"0.5", "0.25", "0.1", "3", "0.01", "0", "-2", "1e-3"}));
        const int high = 1 + below(20);
        add(t, "%d|%d|%s", below(5), high, step);
        break;
      }
      case 2:
        number(t);
        add(t, "|");
        number(t);
        if (chance(50)) add(t, "|%s", PICK(((const char* const[]){"0.5", "0.1", "7", "0.001"})));
        break;
      default:
        expression(t, n, 1);
        add(t, "|");
        expression(t, n, 1);
        break;
    }
    if (chance(40)) add(t, "|%d", below(4));
    if (chance(20)) {
      const int second = below(2);
      add(t, "|%d|%d", below(2), second);
    }
  } else if (kind < 7) {
    static const char* const kGroups[] = {"g", "h"};
    int values = 1 + below(4), i;
    is_text = chance(40);
    add(t, "l_%s|%s", name, PICK(kGroups));
    for (i = 0; i < values; ++i) {
      add(t, "|");
      if (is_text) {
        add(t, "\"%s\"", PICK(((const char* const[]){"cm", "m", "kg", "apple", "x y"})));
      } else {
        number(t);
      }
    }
  } else if (kind < 9) {
    add(t, "k_%s|", name);
    if (chance(25)) {
      is_text = 1;
      text_expression(t, n, 0);
    } else {
      number(t);
    }
  } else if (kind < 11 && n->count > 0) {
    add(t, "c_%s|", name);
    if (chance(70)) {
      /* Mostly conditions that hold in most draws. */
      int i = numeric_name(n);
      add(t, "%s%s", i >= 0 ? n->name[i] : "1", chance(60) ? "<>" : PICK(kComparison));
      number(t);
    } else {
      condition(t, n, 2);
    }
    return; /* a condition defines no value */
  } else if (kind < 12) {
    switch (below(3)) {
      case 0:
        add(t, "f_sq|u*u|u");
        n->has_square = 1;
        break;
      case 1:
        add(t, "f_hyp|sqrt(u^2+v^2)|u|v");
        n->has_hypotenuse = 1;
        break;
      default:
        add(t, "f_label|str(u,2) & \" cm\"|u");
        n->has_label = 1;
        break;
    }
    return;
  } else if (kind < 13) {
    add(t, "k_zek_opt_tenthousand|%d", below(2));
    return;
  } else {
    add(t, "q_%s|", name);
    is_text = chance(20);
    if (is_text) {
      text_expression(t, n, 3);
    } else {
      expression(t, n, 3);
    }
    format_fields(t);
  }
  if (n->count < 16) {
    n->name[n->count] = name;
    n->is_text[n->count] = is_text;
    ++n->count;
  }
}

static void algorithm(struct text* t, struct names* n, int lines) {
  int i;
  for (i = 0; i < lines; ++i) {
    if (i > 0) add(t, chance(10) ? "\r\n" : "\n");
    line(t, n);
  }
}

static void request(struct text* t, const struct names* n) {
  int r = below(10);
  if (r < 4 && n->count > 0) {
    add(t, "%s", n->name[below(n->count)]);
  } else if (r < 7) {
    expression(t, n, 3);
  } else if (r < 8) {
    text_expression(t, n, 3);
  } else {
    add(t, "str(");
    expression(t, n, 2);
    add(t, ",%d)", chance(50) ? 17 : below(8));
  }
}

/* ---- running a case ---- */

static struct zekalg_functions api;
static char g_result[1 << 16];

/* Bytes as printable ASCII: \\, \xHH for the rest. */
static void quoted(FILE* out, const char* bytes, size_t length) {
  size_t i;
  fputc('"', out);
  for (i = 0; i < length; ++i) {
    const unsigned char c = (unsigned char)bytes[i];
    if (c == '\\' || c == '"') {
      fprintf(out, "\\%c", c);
    } else if (c >= 32 && c < 127) {
      fputc(c, out);
    } else {
      fprintf(out, "\\x%02X", c);
    }
  }
  fputc('"', out);
}

static int32_t create(FILE* out, const char* label, int32_t base, const char* text) {
  int32_t length = (int32_t)sizeof g_result;
  int32_t id;
  g_result[0] = '\0';
  id = api.create_environment(base, text, g_result, &length);
  g_result[sizeof g_result - 1] = '\0';
  fprintf(out, "%s ", label);
  quoted(out, text, strlen(text));
  if (id > 0) {
    fprintf(out, "\n  = created\n");
  } else {
    fprintf(out, "\n  = %d %d ", (int)id, (int)length);
    quoted(out, g_result, strlen(g_result));
    fputc('\n', out);
  }
  return id;
}

static void solve(FILE* out, int32_t id, const char* text, int wide) {
  int32_t length = (int32_t)sizeof g_result;
  int32_t status;
  size_t shown;
  g_result[0] = '\0';
  status = (wide ? api.solve_var16 : api.solve_var)(id, text, g_result, &length);
  g_result[sizeof g_result - 1] = '\0';
  fprintf(out, "%s ", wide ? "solve16" : "solve");
  quoted(out, text, strlen(text));
  /* The text is NUL-terminated; the length says what it would need. */
  shown = strlen(g_result);
  fprintf(out, "\n  = %d %d ", (int)status, (int)length);
  quoted(out, g_result, shown);
  fputc('\n', out);
}

static void run_case(FILE* out, uint64_t series, uint32_t index) {
  struct text base_text = {NULL, 0, 0}, child = {NULL, 0, 0}, req = {NULL, 0, 0};
  struct names n;
  int32_t base = 0, id, requests, i;
  memset(&n, 0, sizeof n);
  g_state = series * 0x2545F4914F6CDD1Dull + index;
  (void)next64();
  add(&base_text, "");
  add(&child, "");
  add(&req, "");

  fprintf(out, "case %u\n", (unsigned)index);
  {
    const int32_t seed = (int32_t)(uint32_t)next64();
    api.seed_environment(seed);
    fprintf(out, "seed %d\n", (int)seed);
  }
  if (chance(30)) {
    algorithm(&base_text, &n, 1 + below(3));
    base = create(out, "base", 0, base_text.bytes);
    if (base <= 0) base = 0;
  }
  algorithm(&child, &n, 1 + below(6));
  id = create(out, base > 0 ? "derive" : "create", base, child.bytes);
  requests = id > 0 ? 2 + below(5) : 1;
  for (i = 0; i < requests; ++i) {
    clear(&req);
    request(&req, &n);
    solve(out, id, req.bytes, chance(15));
  }
  if (id > 0) api.kill_environment(id);
  if (base > 0) api.kill_environment(base);
  free(base_text.bytes);
  free(child.bytes);
  free(req.bytes);
}

/* ---- loading the library ---- */

#ifdef _WIN32
typedef HMODULE library_t;
static library_t open_library(const char* path) { return LoadLibraryA(path); }
static void (*symbol(library_t l, const char* name))(void) {
  return (void (*)(void))GetProcAddress(l, name);
}
#else
typedef void* library_t;
static library_t open_library(const char* path) { return dlopen(path, RTLD_NOW | RTLD_LOCAL); }
static void (*symbol(library_t l, const char* name))(void) {
  void (*f)(void);
  void* p = dlsym(l, name);
  memcpy(&f, &p, sizeof f);
  return f;
}
#endif

static int load(const char* path) {
  library_t l = open_library(path);
  if (l == NULL) {
    fprintf(stderr, "cannot load %s\n", path);
    return 0;
  }
  api.create_environment = (int32_t(ZEKALG_CALL*)(int32_t, const char*, char*, int32_t*))symbol(
      l, "zekalg_create_environment");
  api.kill_environment = (int32_t(ZEKALG_CALL*)(int32_t))symbol(l, "zekalg_kill_environment");
  api.solve_var =
      (int32_t(ZEKALG_CALL*)(int32_t, const char*, char*, int32_t*))symbol(l, "zekalg_solve_var");
  api.solve_var16 =
      (int32_t(ZEKALG_CALL*)(int32_t, const char*, char*, int32_t*))symbol(l, "zekalg_solve_var16");
  api.seed_environment = (void(ZEKALG_CALL*)(int32_t))symbol(l, "zekalg_seed_environment");
  api.list_capabilities = (void(ZEKALG_CALL*)(const char*))symbol(l, "zekalg_list_capabilities");
  if (api.create_environment == NULL || api.kill_environment == NULL || api.solve_var == NULL ||
      api.solve_var16 == NULL || api.seed_environment == NULL) {
    fprintf(stderr, "%s lacks a function\n", path);
    return 0;
  }
  return 1;
}

static int run(const char* library, const char* seed, const char* first, const char* count,
               const char* output) {
  const uint64_t series = strtoull(seed, NULL, 10);
  const uint32_t from = (uint32_t)strtoul(first, NULL, 10);
  const uint32_t n = (uint32_t)strtoul(count, NULL, 10);
  uint32_t i;
  FILE* out;
  if (!load(library)) return 1;
  out = fopen(output, "wb"); /* binary: the same bytes on both systems */
  if (out == NULL) {
    fprintf(stderr, "cannot write %s\n", output);
    return 1;
  }
  for (i = 0; i < n; ++i) run_case(out, series, from + i);
  fprintf(out, "end of %u cases\n", (unsigned)n);
  return fclose(out) == 0 ? 0 : 1;
}

/* ---- comparing two outputs ---- */

static char* read_all(const char* path, size_t* size) {
  FILE* in = fopen(path, "rb");
  char* bytes;
  long n;
  if (in == NULL || fseek(in, 0, SEEK_END) != 0 || (n = ftell(in)) < 0 ||
      fseek(in, 0, SEEK_SET) != 0) {
    fprintf(stderr, "cannot read %s\n", path);
    if (in != NULL) fclose(in);
    return NULL;
  }
  bytes = (char*)malloc((size_t)n + 1);
  if (bytes == NULL || fread(bytes, 1, (size_t)n, in) != (size_t)n) {
    fprintf(stderr, "cannot read %s\n", path);
    fclose(in);
    free(bytes);
    return NULL;
  }
  fclose(in);
  bytes[n] = '\0';
  *size = (size_t)n;
  return bytes;
}

/* The end of the case that starts at `at`: the next "case " or "end of "
 * line, or the end of the text. */
static const char* case_end(const char* at) {
  const char* p = strchr(at, '\n');
  while (p != NULL) {
    if (strncmp(p + 1, "case ", 5) == 0 || strncmp(p + 1, "end of ", 7) == 0) return p + 1;
    p = strchr(p + 1, '\n');
  }
  return at + strlen(at);
}

static void show_case(const char* label, const char* start, const char* end, const char* other,
                      const char* other_end) {
  /* Each line, marked with '!' where the other side has a different line. */
  printf("  %s:\n", label);
  while (start < end) {
    const char* line_end = memchr(start, '\n', (size_t)(end - start));
    const char* other_line_end;
    size_t length, other_length;
    int same;
    if (line_end == NULL) line_end = end;
    length = (size_t)(line_end - start);
    other_line_end = other < other_end ? memchr(other, '\n', (size_t)(other_end - other)) : NULL;
    if (other_line_end == NULL) other_line_end = other_end;
    other_length = (size_t)(other_line_end - other);
    same = other < other_end && length == other_length && memcmp(start, other, length) == 0;
    printf("  %c %.*s\n", same ? ' ' : '!', (int)length, start);
    start = line_end + 1;
    other = other_line_end < other_end ? other_line_end + 1 : other_end;
  }
}

static int compare(const char* linux_path, const char* windows_path, int shown) {
  /* Any two outputs: the native and Win32 builds, or plans and the rewriting. */
  size_t linux_size = 0, windows_size = 0;
  char* a = read_all(linux_path, &linux_size);
  char* b = read_all(windows_path, &windows_size);
  const char *p, *q;
  int cases = 0, differing = 0, complete;
  if (a == NULL || b == NULL) return 1;
  p = a;
  q = b;
  while (strncmp(p, "case ", 5) == 0 && strncmp(q, "case ", 5) == 0) {
    const char* p_end = case_end(p);
    const char* q_end = case_end(q);
    ++cases;
    if (p_end - p != q_end - q || memcmp(p, q, (size_t)(p_end - p)) != 0) {
      if (differing < shown) {
        printf("differs: %.*s\n", (int)(strchr(p, '\n') - p), p);
        show_case("Linux", p, p_end, q, q_end);
        show_case("Windows", q, q_end, p, p_end);
      }
      ++differing;
    }
    p = p_end;
    q = q_end;
  }
  complete = strncmp(p, "end of ", 7) == 0 && strcmp(p, q) == 0;
  if (!complete)
    printf("the outputs stop differently after %d cases (one side cut short?)\n", cases);
  printf("%s vs %s: %d of %d cases differ\n", linux_path, windows_path, differing, cases);
  free(a);
  free(b);
  return differing == 0 && complete && cases > 0 ? 0 : 1;
}

int main(int argc, char** argv) {
  if (argc == 7 && strcmp(argv[1], "run") == 0)
    return run(argv[2], argv[3], argv[4], argv[5], argv[6]);
  if ((argc == 4 || argc == 5) && strcmp(argv[1], "compare") == 0)
    return compare(argv[2], argv[3], argc == 5 ? atoi(argv[4]) : 3);
  fprintf(stderr,
          "usage: differential_host run LIBRARY SEED FIRST COUNT OUTPUT\n"
          "       differential_host compare LINUX WINDOWS [SHOWN]\n");
  return 2;
}
