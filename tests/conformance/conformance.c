#include "conformance.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { kBufferSize = 4096, kMaxEnvironments = 16 };

/* Bytes the runner fills buffers with, so untouched buffers can be told. */
static const char kFill = '#';

static void set_error(char* error, size_t size, const char* format, ...) {
  va_list args;
  if (error == NULL || size == 0) return;
  va_start(args, format);
  vsnprintf(error, size, format, args);
  va_end(args);
}

static char* copy_bytes(const char* bytes, size_t length) {
  char* copy = (char*)malloc(length + 1);
  if (copy == NULL) return NULL;
  memcpy(copy, bytes, length);
  copy[length] = '\0';
  return copy;
}

static int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

/* Decodes the escapes of `text` into a new buffer. NUL cannot be written:
 * every text crosses the interface NUL-terminated. */
static char* unescape(const char* text, size_t* length, const char** problem) {
  size_t n = strlen(text);
  char* out = (char*)malloc(n + 1);
  size_t o = 0;
  size_t i;
  if (out == NULL) {
    *problem = "out of memory";
    return NULL;
  }
  for (i = 0; i < n; ++i) {
    char c = text[i];
    if (c != '\\') {
      out[o++] = c;
      continue;
    }
    if (++i == n) {
      *problem = "backslash at the end of the line";
      free(out);
      return NULL;
    }
    switch (text[i]) {
      case 'n':
        out[o++] = '\n';
        break;
      case 'r':
        out[o++] = '\r';
        break;
      case 't':
        out[o++] = '\t';
        break;
      case '\\':
        out[o++] = '\\';
        break;
      case 'x': {
        int high = i + 1 < n ? hex_digit(text[i + 1]) : -1;
        int low = i + 2 < n ? hex_digit(text[i + 2]) : -1;
        if (high < 0 || low < 0 || (high == 0 && low == 0)) {
          *problem = "\\x needs two hex digits and cannot write NUL";
          free(out);
          return NULL;
        }
        out[o++] = (char)(high * 16 + low);
        i += 2;
        break;
      }
      default:
        *problem = "unknown escape";
        free(out);
        return NULL;
    }
  }
  out[o] = '\0';
  *length = o;
  return out;
}

/* `text` with unprintable bytes escaped, for reports. */
static void escape_into(char* out, size_t size, const char* text, size_t length) {
  size_t o = 0;
  size_t i;
  if (size == 0) return;
  for (i = 0; i < length && o + 5 < size; ++i) {
    unsigned char c = (unsigned char)text[i];
    if (c == '\n') {
      out[o++] = '\\';
      out[o++] = 'n';
    } else if (c == '\\') {
      out[o++] = '\\';
      out[o++] = '\\';
    } else if (c < 32 || c > 126) {
      o += (size_t)snprintf(out + o, size - o, "\\x%02X", c);
    } else {
      out[o++] = (char)c;
    }
  }
  out[o] = '\0';
}

static void free_case(struct conformance_case* c) {
  size_t i;
  for (i = 0; i < c->step_count; ++i) {
    free(c->steps[i].text);
    free(c->steps[i].expected);
  }
  free(c->steps);
  free(c->name);
}

void conformance_free(struct conformance_suite* suite) {
  size_t i;
  for (i = 0; i < suite->count; ++i) free_case(&suite->cases[i]);
  free(suite->cases);
  suite->cases = NULL;
  suite->count = 0;
}

static int valid_name(const char* name) {
  const char* p;
  if (*name == '\0') return 0;
  for (p = name; *p != '\0'; ++p) {
    char c = *p;
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
      return 0;
  }
  return 1;
}

static struct conformance_step* add_step(struct conformance_case* c) {
  struct conformance_step* grown =
      (struct conformance_step*)realloc(c->steps, (c->step_count + 1) * sizeof *c->steps);
  if (grown == NULL) return NULL;
  c->steps = grown;
  memset(&grown[c->step_count], 0, sizeof *grown);
  return &grown[c->step_count++];
}

/* Parses one directive into the last case of the suite. Returns NULL, or
 * what is wrong with the line. */
static const char* parse_line(struct conformance_suite* suite, char* line, int number) {
  char* argument = strchr(line, ' ');
  const char* problem = NULL;
  struct conformance_case* c;
  struct conformance_step* step;
  if (argument != NULL) *argument++ = '\0';

  if (strcmp(line, "case") == 0) {
    struct conformance_case* grown;
    size_t i;
    if (argument == NULL || !valid_name(argument))
      return "a case needs a name of letters, digits and '_'";
    for (i = 0; i < suite->count; ++i) {
      if (strcmp(suite->cases[i].name, argument) == 0) return "a case of this name exists already";
    }
    grown = (struct conformance_case*)realloc(suite->cases, (suite->count + 1) * sizeof *grown);
    if (grown == NULL) return "out of memory";
    suite->cases = grown;
    c = &grown[suite->count];
    memset(c, 0, sizeof *c);
    c->name = copy_bytes(argument, strlen(argument));
    c->line = number;
    ++suite->count;
    return c->name == NULL ? "out of memory" : NULL;
  }
  if (suite->count == 0) return "a directive before the first case";
  c = &suite->cases[suite->count - 1];

  if (strcmp(line, "expect") == 0) {
    char* end = NULL;
    long status;
    if (c->step_count == 0) return "expect without a step";
    step = &c->steps[c->step_count - 1];
    if (step->has_expectation || step->action == CONFORMANCE_SEED ||
        step->action == CONFORMANCE_KILL || step->action == CONFORMANCE_USE)
      return "expect does not follow a create, derive or solve";
    if (argument == NULL) return "expect needs a status";
    status = strtol(argument, &end, 10);
    if (end == argument || (*end != ' ' && *end != '\0')) return "expect needs a status";
    step->expected = unescape(*end == ' ' ? end + 1 : end, &step->expected_length, &problem);
    if (step->expected == NULL) return problem;
    step->expected_status = (int32_t)status;
    step->has_expectation = 1;
    return NULL;
  }

  step = add_step(c);
  if (step == NULL) return "out of memory";
  step->line = number;
  if (strcmp(line, "seed") == 0) {
    char* end = NULL;
    step->action = CONFORMANCE_SEED;
    if (argument == NULL) return "seed needs a number";
    step->seed = (uint32_t)strtoul(argument, &end, 10);
    return (end == argument || *end != '\0') ? "seed needs a number" : NULL;
  }
  if (strcmp(line, "use") == 0) {
    char* end = NULL;
    step->action = CONFORMANCE_USE;
    if (argument == NULL) return "use needs a number";
    step->seed = (uint32_t)strtoul(argument, &end, 10);
    return (end == argument || *end != '\0' || step->seed == 0) ? "use needs a number from 1"
                                                                : NULL;
  }
  if (strcmp(line, "kill") == 0) {
    step->action = CONFORMANCE_KILL;
    return argument == NULL ? NULL : "kill takes no argument";
  }
  if (strcmp(line, "create") == 0) {
    step->action = CONFORMANCE_CREATE;
  } else if (strcmp(line, "derive") == 0) {
    step->action = CONFORMANCE_DERIVE;
  } else if (strcmp(line, "solve") == 0) {
    step->action = CONFORMANCE_SOLVE;
  } else if (strcmp(line, "solve-once") == 0) {
    step->action = CONFORMANCE_SOLVE_ONCE;
  } else {
    return "unknown directive";
  }
  {
    size_t ignored;
    step->text = unescape(argument != NULL ? argument : "", &ignored, &problem);
  }
  return step->text == NULL ? problem : NULL;
}

static const char* check_complete(const struct conformance_suite* suite, int* line) {
  size_t i;
  size_t j;
  for (i = 0; i < suite->count; ++i) {
    const struct conformance_case* c = &suite->cases[i];
    if (c->step_count == 0) {
      *line = c->line;
      return "a case without steps";
    }
    for (j = 0; j < c->step_count; ++j) {
      const enum conformance_action action = c->steps[j].action;
      if ((action == CONFORMANCE_SOLVE || action == CONFORMANCE_SOLVE_ONCE) &&
          !c->steps[j].has_expectation) {
        *line = c->steps[j].line;
        return "a solve without expect";
      }
    }
  }
  return NULL;
}

int conformance_load(const char* path, struct conformance_suite* suite, char* error,
                     size_t error_size) {
  FILE* file = fopen(path, "rb");
  char line[kBufferSize];
  int number = 0;
  const char* problem = NULL;
  suite->cases = NULL;
  suite->count = 0;
  if (file == NULL) {
    set_error(error, error_size, "%s: cannot open", path);
    return 0;
  }
  while (problem == NULL && fgets(line, sizeof line, file) != NULL) {
    size_t n = strlen(line);
    ++number;
    if (n > 0 && line[n - 1] != '\n' && !feof(file)) {
      problem = "line too long";
      break;
    }
    while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r')) line[--n] = '\0';
    if (n == 0 || line[0] == '#') continue;
    problem = parse_line(suite, line, number);
  }
  fclose(file);
  if (problem == NULL) problem = check_complete(suite, &number);
  if (problem != NULL) {
    set_error(error, error_size, "%s:%d: %s", path, number, problem);
    conformance_free(suite);
    return 0;
  }
  return 1;
}

/* What one call answered. */
struct answer {
  int32_t status;
  int32_t length;
  char buffer[kBufferSize];
};

static void call_solve(int32_t(ZEKALG_CALL* solve)(int32_t, const char*, char*, int32_t*),
                       int32_t id, const char* request, int32_t size, struct answer* a) {
  memset(a->buffer, kFill, sizeof a->buffer);
  a->length = size;
  a->status = solve(id, request, a->buffer, &a->length);
}

/* Compares a delivered text with the expectation; describes a difference. */
static int check_text(const struct conformance_step* step, const char* what, const struct answer* a,
                      char* report, size_t size) {
  char want[512];
  char got[512];
  size_t got_length;
  int same = a->status == step->expected_status && a->length == (int32_t)step->expected_length &&
             memcmp(a->buffer, step->expected, step->expected_length + 1) == 0;
  if (same) return 1;
  got_length = a->length >= 0 && a->length < kBufferSize ? (size_t)a->length : 0;
  escape_into(want, sizeof want, step->expected, step->expected_length);
  escape_into(got, sizeof got, a->buffer, got_length);
  set_error(report, size, "line %d: %s \"%s\": expected %d \"%s\", got %d \"%s\" (length %d)",
            step->line, what, step->text, (int)step->expected_status, want, (int)a->status, got,
            (int)a->length);
  return 0;
}

/* A request answers the same every time once its first solve has drawn
 * what it needs, and the same through both functions; so it is asked three
 * times. */
static int run_solve(const struct zekalg_functions* api, int32_t id,
                     const struct conformance_step* step, struct answer* a, char* report,
                     size_t size) {
  int32_t cut;
  call_solve(api->solve_var, id, step->text, kBufferSize, a);
  if (!check_text(step, "solve", a, report, size)) return 0;
  if (step->action == CONFORMANCE_SOLVE_ONCE) return 1;
  call_solve(api->solve_var16, id, step->text, kBufferSize, a);
  if (!check_text(step, "solve16", a, report, size)) return 0;
  if (step->expected_length == 0) return 1;

  /* One byte short: the text must be cut to fit, NUL-terminated, nothing
   * written past the buffer, and the full length still reported. */
  cut = (int32_t)step->expected_length;
  call_solve(api->solve_var, id, step->text, cut, a);
  if (a->status != step->expected_status || a->length != cut ||
      memcmp(a->buffer, step->expected, (size_t)cut - 1) != 0 || a->buffer[cut - 1] != '\0' ||
      a->buffer[cut] != kFill) {
    set_error(report, size,
              "line %d: solve \"%s\" into %d bytes: expected the first %d bytes, a NUL and "
              "length %d; got status %d, length %d",
              step->line, step->text, (int)cut, (int)cut - 1, (int)cut, (int)a->status,
              (int)a->length);
    return 0;
  }
  return 1;
}

static int run_create(const struct zekalg_functions* api, int32_t base,
                      const struct conformance_step* step, struct answer* a, int32_t* id,
                      char* report, size_t size) {
  memset(a->buffer, kFill, sizeof a->buffer);
  a->length = kBufferSize;
  *id = api->create_environment(base, step->text, a->buffer, &a->length);
  if (step->has_expectation && step->expected_status != 0) {
    a->status = *id < 0 ? *id : 0;
    return check_text(step, "create", a, report, size);
  }
  if (*id <= 0 || a->length != kBufferSize || a->buffer[0] != kFill) {
    char got[512];
    size_t got_length = a->length >= 0 && a->length < kBufferSize ? (size_t)a->length : 0;
    escape_into(got, sizeof got, a->buffer, *id < 0 ? got_length : 0);
    set_error(report, size,
              "line %d: create \"%s\": expected a new id and an untouched buffer, got %d \"%s\" "
              "(length %d)",
              step->line, step->text, (int)*id, got, (int)a->length);
    return 0;
  }
  return 1;
}

int conformance_run(const struct zekalg_functions* api, const struct conformance_case* c,
                    char* report, size_t report_size) {
  /* Heap, not stack: hosts may run with small stacks. */
  struct answer* a = (struct answer*)malloc(sizeof *a);
  int32_t created[kMaxEnvironments];
  size_t created_count = 0;
  int32_t current = 0;
  int ok = 1;
  size_t i;
  if (a == NULL) {
    set_error(report, report_size, "out of memory");
    return 0;
  }
  for (i = 0; ok && i < c->step_count; ++i) {
    const struct conformance_step* step = &c->steps[i];
    int32_t id = 0;
    switch (step->action) {
      case CONFORMANCE_SEED:
        api->seed_environment((int32_t)step->seed);
        break;
      case CONFORMANCE_USE:
        ok = step->seed <= created_count;
        if (ok) {
          current = created[step->seed - 1];
        } else {
          set_error(report, report_size, "line %d: no environment %u was created", step->line,
                    (unsigned)step->seed);
        }
        break;
      case CONFORMANCE_KILL:
        ok = api->kill_environment(current) == 0;
        if (!ok) set_error(report, report_size, "line %d: kill did not return 0", step->line);
        break;
      case CONFORMANCE_SOLVE:
      case CONFORMANCE_SOLVE_ONCE:
        ok = run_solve(api, current, step, a, report, report_size);
        break;
      case CONFORMANCE_CREATE:
      case CONFORMANCE_DERIVE:
        ok = run_create(api, step->action == CONFORMANCE_DERIVE ? current : 0, step, a, &id, report,
                        report_size);
        if (id > 0) {
          if (created_count < kMaxEnvironments) created[created_count++] = id;
          current = id;
        }
        break;
    }
  }
  /* Derived environments first: they refer to their base. */
  while (created_count > 0) api->kill_environment(created[--created_count]);
  free(a);
  return ok;
}
