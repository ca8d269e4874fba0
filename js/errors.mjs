// The package's errors. Every error thrown on purpose is a ZekalgError; the
// engine's own are EngineErrors whose message is the engine's, exactly.

/** Base class of every error the package throws on purpose. */
export class ZekalgError extends Error {
  get name() {
    return this.constructor.name;
  }
}

/**
 * An error the engine reported. `message` is the engine's message;
 * `variable` the name at its front when the algorithm (or its base)
 * defines it; `line` the 1-based line of the algorithm it is about; `seed`
 * the seed given right before the creation; each null when not known.
 */
export class EngineError extends ZekalgError {
  constructor(message, { variable = null, line = null, seed = null } = {}) {
    super(message);
    this.variable = variable;
    this.line = line;
    this.seed = seed;
  }
}

/** An environment could not be created from an algorithm (or a tools call
 * could not run: then `source` says which text `line` is in). */
export class AlgorithmError extends EngineError {
  constructor(message, { source = null, ...rest } = {}) {
    super(message, rest);
    this.source = source;
  }
}

/** A request could not be solved: `request` is the request, `status` the
 * engine's status code (-1: an error in the algorithm or the request; -2:
 * any other failure, "Unknown error occurred."). */
export class SolveError extends EngineError {
  constructor(message, { request, status, ...rest }) {
    super(message, rest);
    this.request = request;
    this.status = status;
  }
}

/**
 * A text holds a character the engine cannot take: one without a
 * Windows-1252 byte, or NUL (the engine's texts end at NUL). `what` names
 * the text, `index` is the character's index in it, `line` and `column`
 * (1-based) its place, `character` the character.
 */
export class EncodingError extends ZekalgError {
  constructor(what, text, index, problem) {
    const code = text.codePointAt(index);
    const character = String.fromCodePoint(code);
    const line = text.slice(0, index).split("\n").length;
    const column = index - (text.lastIndexOf("\n", index - 1) + 1) + 1;
    const where = text.includes("\n") ? `line ${line}, column ${column}` : `column ${column}`;
    const shown = code < 0x20 ? `\\x${code.toString(16).padStart(2, "0")}` : character;
    const hex = code.toString(16).toUpperCase().padStart(4, "0");
    super(`${what}, ${where}: character '${shown}' (U+${hex}) ${problem}`);
    this.what = what;
    this.index = index;
    this.line = line;
    this.column = column;
    this.character = character;
  }
}
