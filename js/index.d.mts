// Types of the zekalg package (index.mjs).

/** Options of the module's loader. */
export interface LoadOptions {
  /** The bytes of zekalg_engine.wasm (Node reads them itself by default). */
  wasmBinary?: ArrayBuffer | Uint8Array;
  /** Where the browser fetches a file of the module (default: next to index.mjs). */
  locateFile?: (name: string, prefix: string) => string;
}

/** Loads the engine; every other function needs it. Resolves to the module's exports. */
export function load(options?: LoadOptions): Promise<typeof import("./index.mjs")>;
/** Whether load() has finished. */
export function loaded(): boolean;

/** Seeds the engine's generator for the next creation: -2**31 to 2**32 - 1. */
export function seed(value: number): void;

export interface EnvironmentOptions {
  /** The environment this one builds on, or an algorithm text to build one from. */
  base?: Environment | string | null;
  /** Seeds the engine first: the same seed brings back the same variant. */
  seed?: number | null;
  /** Results write minus as "-" instead of the en dash. */
  asciiMinus?: boolean;
}

declare global {
  interface SymbolConstructor {
    /** The method `using` calls (the esnext lib declares it too; Node has it from 18.18). */
    readonly dispose: unique symbol;
  }
}

export class Environment {
  constructor(algorithm: string, options?: EnvironmentOptions);
  /** The engine's id (0 once disposed). */
  readonly id: number;
  readonly algorithm: string;
  readonly base: Environment | null;
  readonly disposed: boolean;
  /** The names solveAll answers, in definition order. */
  readonly variables: string[];
  /** The display text of a variable name or a formula. */
  solve(request: string): string;
  /** Every variable, name to display text, in definition order. */
  solveAll(): Record<string, string>;
  /** Kills the environment; again is harmless. */
  dispose(): void;
  /** The same as dispose(), for `using` where the runtime has it. */
  [Symbol.dispose](): void;
}

/** Where a place in an answer is: "algorithm" or "base", 1-based line (0: none). */
export interface Place {
  source: "algorithm" | "base";
  line: number;
  column?: number;
}

export interface VariantResult extends Partial<Place> {
  request: string;
  status: "ok" | "error" | "unknown";
  text?: string;
  message?: string;
}

export interface VariantDocument {
  seed: number;
  created: boolean;
  error?: { message: string } & Place;
  results?: VariantResult[];
  failures?: {
    errors: ({ variable: string; message: string } & Place)[];
    cascade: { variable: string }[];
  };
}

export interface Bar {
  label: string;
  count: number;
  [more: string]: unknown;
}

export interface Histogram {
  kind: "values" | "bins" | "text";
  distinct: number;
  min?: number | string;
  max?: number | string;
  bars: Bar[];
}

export interface SampleDocument {
  file: string;
  base: string | null;
  seed: number;
  variables: string[];
  variants: { row: number; seed: number; values: Record<string, string> }[];
  failures: {
    kind: "creation" | "variable";
    variable?: string;
    message: string;
    count: number;
    first_row: number;
    first_seed: number;
    file: string;
    line: number;
  }[];
  cascade: { variable: string; count: number }[];
  histograms: Record<string, Histogram>;
  summary: { made: number; failed: number; distinct: number };
  seconds: number;
}

export interface Diagnostic extends Place {
  severity: "error" | "warning";
  message: string;
}

/** How many different variants a question has (`zekalg check`'s count). */
export interface VariantCount {
  /** Distinct variants: every variable as it is shown. */
  count: number;
  /** Every combination of the draws was visited; else an estimate. */
  exact: boolean;
  /** Exact: the combinations visited; estimate: about how many there are. */
  combinations: number;
  /** The combinations (or, for an estimate, the sampled variants) that build. */
  satisfying: number;
  /** Estimate only: the variants drawn. */
  sampled?: number;
  /** Distinct prompts, when the question declares one. */
  prompts?: number;
  /** Distinct right answers, when it declares parts. */
  answers?: number;
  /** The line `zekalg check` prints. */
  summary: string;
}

export interface CheckDocument {
  diagnostics: Diagnostic[];
  errors: number;
  warnings: number;
  /** Missing when the check made no trials. */
  variants?: VariantCount;
}

/** One variant as `zekalg solve` makes it. */
export function variant(
  algorithm: string,
  options?: {
    base?: Environment | string | null;
    seed?: number | null;
    requests?: string[] | null;
    asciiMinus?: boolean;
    path?: string | null;
    basePath?: string | null;
  },
): VariantDocument;

/** `n` variants as `zekalg sample` makes them. */
export function sample(
  algorithm: string,
  n: number,
  options?: {
    /** Any 64-bit integer. */
    seed?: number | bigint | null;
    base?: Environment | string | null;
    variables?: string[] | null;
    threads?: number;
    asciiMinus?: boolean;
    path?: string | null;
    basePath?: string | null;
  },
): SampleDocument;

/** The diagnostics of `zekalg check`. */
export function check(
  algorithm: string,
  options?: {
    base?: Environment | string | null;
    creations?: number;
    path?: string | null;
    basePath?: string | null;
  },
): CheckDocument;

/** One part of a question as the student sees it. */
export interface GradePart {
  /** 1-based, in the order of the declarations. */
  part: number;
  kind: "numeric" | "text" | "choice";
  /** The answer's variable (choice: the right option's). */
  variable: string;
  /** The right answer as shown (choice: the right option's text). */
  answer: string;
  /** Numeric: the tolerance as declared ("abs 0.01"; empty: as shown). */
  tolerance?: string;
  /** Text: "exact", or "loose" (ignoring case and spaces). */
  match?: "exact" | "loose";
  /** Choice: the options' texts, in the variant's order. */
  options?: string[];
  /** Choice: the right option's position in `options`, from 1. */
  right_option?: number;
}

export interface GradeVerdict {
  part: number;
  result: "right" | "wrong" | "unreadable";
  /** Unreadable: what the answer must be ("give 3 significant figures"). */
  reason?: string;
}

export interface GradeDocument {
  seed: number;
  prompt?: string | null;
  parts: GradePart[];
  solution?: string | null;
  feedback?: string | null;
  /** With responses: one per part. */
  verdicts?: GradeVerdict[];
  /** With responses: the parts answered right. */
  right?: number;
}

/** A question's variant as a student sees it, and the verdict on each response. */
export function grade(
  algorithm: string,
  options: {
    /** The variant's seed, -2**31 to 2**32 - 1. */
    seed: number;
    /** One per part, as the student typed them (no line breaks). */
    responses?: string[] | null;
    base?: Environment | string | null;
    asciiMinus?: boolean;
    path?: string | null;
    basePath?: string | null;
  },
): GradeDocument;

/** Every error the package throws on purpose. */
export class ZekalgError extends Error {}

/** An error the engine reported; `message` is its message. */
export class EngineError extends ZekalgError {
  /** The variable or function at the front of the message, when defined. */
  variable: string | null;
  /** The 1-based line of the algorithm the message is about. */
  line: number | null;
  /** The seed given right before the creation. */
  seed: number | null;
}

/** An environment could not be created, or a tools call could not run. */
export class AlgorithmError extends EngineError {
  /** For a tools call: the text the line is in. */
  source: "algorithm" | "base" | null;
}

/** A request could not be solved. */
export class SolveError extends EngineError {
  request: string;
  /** -1: an error in the algorithm or the request; -2: any other failure. */
  status: number;
}

/** A text holds a character the engine cannot take (no Windows-1252 byte, or NUL). */
export class EncodingError extends ZekalgError {
  what: string;
  index: number;
  line: number;
  column: number;
  character: string;
}
