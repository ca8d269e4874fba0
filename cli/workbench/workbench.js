// The workbench: an editor for one algorithm and one for its base, each with
// its diagnostics; a preview of the question as a reader sees it, walked
// seed by seed, and the same variant as a student sees it, answered and
// checked (the question declared in the algorithm's ? lines); every
// variable of that variant and a box to solve requests in it; a sample of
// variants, paged, with histograms; and the question's
// test file, recorded or compared as `zekalg test` does. Everything comes
// from the service's /v1/ endpoints, through api().
//
// The page never shows an answer to an older text: an edit drops every
// answer still on its way, and each kind of request keeps only its newest.
// The state (algorithm, base, sample seed, count, variant seed, preview
// variables) lives in the URL's fragment, so a link brings the same view
// back; the last texts are also kept in the browser's localStorage.
"use strict";

const DEBOUNCE_MS = 350;
const PAGE_ROWS = 20;
const INDENT = 2;
const TEST_SEEDS = 10;
const STORE_KEY = "zekalg-workbench";
const PREVIEW_KEY = "zekalg-workbench-preview";
const PREVIEW_KEPT = 200;

const $ = (id) => document.getElementById(id);

const state = { sampleSeed: 0, count: 200, seed: null, question: null, answer: null };
let sample = null;       // the sample shown, of the text on screen
let variant = null;      // {seed, answer} of the variant shown
let position = -1;       // the variant's row in the sample (or the last row walked)
let page = 0;            // of the table
let request = null;      // the request of the solve box, solved again after edits
let test = null;         // the test file opened or recorded: {base, requests, blocks}
let checkedBase = null;  // the base text whose own check is shown
let timer = null;
let token = sessionStorage.getItem("zekalg-token") || "";

// --- Small helpers ---------------------------------------------------------

function el(tag, attributes, ...children) {
  const node = document.createElement(tag);
  for (const [key, value] of Object.entries(attributes || {})) {
    if (key === "class") node.className = value;
    else if (key.startsWith("data-")) node.setAttribute(key, value);
    else node[key] = value;
  }
  for (const child of children) {
    if (child !== null && child !== undefined) {
      node.append(child instanceof Node ? child : String(child));
    }
  }
  return node;
}

function svg(tag, attributes, text) {
  const node = document.createElementNS("http://www.w3.org/2000/svg", tag);
  for (const [key, value] of Object.entries(attributes)) node.setAttribute(key, value);
  if (text !== undefined) node.textContent = text;
  return node;
}

function setStatus(text, kind) {
  const status = $("status");
  status.textContent = text;
  status.className = kind || "";
}

function randomSeed() {
  return crypto.getRandomValues(new Uint32Array(1))[0];
}

function plural(count, word) {
  return `${count} ${word}${count === 1 ? "" : "s"}`;
}

// UTF-8 text <-> base64url, for the URL.
function encodeText(text) {
  const bytes = new TextEncoder().encode(text);
  let binary = "";
  for (let i = 0; i < bytes.length; i += 0x8000) {
    binary += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
  }
  return btoa(binary).replace(/\+/g, "-").replace(/\//g, "_").replace(/=+$/, "");
}

function decodeText(encoded) {
  try {
    const binary = atob(encoded.replace(/-/g, "+").replace(/_/g, "/"));
    return new TextDecoder().decode(Uint8Array.from(binary, (c) => c.charCodeAt(0)));
  } catch {
    return "";
  }
}

// FNV-1a over the text's UTF-16 units: the key of a text's preview choice.
function textHash(text) {
  let hash = 0x811c9dc5;
  for (let i = 0; i < text.length; i++) {
    hash ^= text.charCodeAt(i);
    hash = Math.imul(hash, 0x01000193) >>> 0;
  }
  return hash.toString(16).padStart(8, "0");
}

function readStore(key, fallback) {
  try {
    return JSON.parse(localStorage.getItem(key)) || fallback;
  } catch {
    return fallback;
  }
}

function writeStore(key, value) {
  try {
    localStorage.setItem(key, JSON.stringify(value));
  } catch {
    // A full or forbidden storage only loses the convenience.
  }
}

// --- The service -----------------------------------------------------------

class ServiceError extends Error {
  constructor(status, body) {
    // Every error comes as a problem document: "detail" tells what is wrong.
    super(body && body.detail ? body.detail : "HTTP " + status);
    this.status = status;
    this.body = body || {};
  }
}

// Every call of the service goes through here (one place to hook another
// transport). `signal` aborts a request whose answer is no longer wanted.
async function api(path, body, signal) {
  const headers = { "Content-Type": "application/json" };
  if (token) headers.Authorization = "Bearer " + token;
  const response = await fetch(path, { method: "POST", headers, body: JSON.stringify(body), signal });
  let answer = null;
  try {
    answer = await response.json();
  } catch {
    answer = null;
  }
  if (response.status === 401) {
    $("token-form").hidden = false;
    $("token").focus();
  }
  if (!response.ok) throw new ServiceError(response.status, answer);
  return answer;
}

// Costly requests (check, sample) go to the service one at a time, so that
// with two workers one is always free for the variant the author reads.
const costlyGate = {
  busy: false,
  queue: [],
  async enter() {
    if (!this.busy) {
      this.busy = true;
      return;
    }
    await new Promise((resolve) => this.queue.push(resolve));
  },
  leave() {
    const next = this.queue.shift();
    if (next) next();
    else this.busy = false;
  },
};

// One lane per kind of request; only the newest request's answer is shown.
// A cheap lane aborts the request it supersedes. A costly lane never has
// two requests at the service: the service works a request out even when
// its client has gone, so aborting and sending again on every pause in
// typing would queue up work the page no longer wants (seconds of it
// behind each edit, with two workers). It lets the request out finish,
// drops its answer, and then sends only the newest; one that became old
// while it waited for the gate is not sent at all.
class Lane {
  constructor(costly) {
    this.costly = costly;
    this.sequence = 0;
    this.out = null;
    this.waiting = null;
  }

  ask(send, show) {
    const job = { sequence: ++this.sequence, send, show };
    if (this.out && this.costly) {
      this.waiting = job;
      return;
    }
    if (this.out) this.out.abort();
    this.start(job);
  }

  // Drops every answer not yet shown.
  drop() {
    ++this.sequence;
    this.waiting = null;
    if (this.out && !this.costly) this.out.abort();
  }

  async start(job) {
    const controller = new AbortController();
    this.out = controller;
    let answer = null;
    let error = null;
    if (this.costly) await costlyGate.enter();
    if (this.costly && job.sequence !== this.sequence) {
      controller.abort();
    } else {
      try {
        answer = await job.send(controller.signal);
      } catch (e) {
        error = e;
      }
    }
    if (this.costly) costlyGate.leave();
    if (this.out === controller) {
      this.out = null;
      if (this.waiting) {
        const next = this.waiting;
        this.waiting = null;
        this.start(next);
      }
    }
    if (controller.signal.aborted || job.sequence !== this.sequence) return;
    job.show(answer, error);
  }
}

const lanes = {
  check: new Lane(true),
  sample: new Lane(true),
  baseCheck: new Lane(true),
  variant: new Lane(false),
  solve: new Lane(false),
  test: new Lane(false),
  grade: new Lane(false),
};

function withBase(body) {
  const base = baseEditor.textarea.value;
  if (base.trim() !== "") body.base = base;
  return body;
}

// --- Editors ---------------------------------------------------------------

// The colours of a line: its prefix and name, the bars between fields,
// texts, numbers, and the characters a formula cannot read as meant (tabs,
// no-break spaces, curly quotes), which are marked.
const TOKENS = /("(?:[^"\\]|\\.)*"?)|(\|)|((?<![A-Za-z_0-9.])[0-9]+(?:\.[0-9]*)?)|([\t\u00a0\u2018\u2019\u201c\u201d])/g;

function paint(line) {
  const out = document.createDocumentFragment();
  let at = 0;
  const head = /^([a-z]_)([^|]*)/.exec(line);
  if (head) {
    out.append(el("span", { class: "t-prefix" }, head[1]), el("span", { class: "t-name" }, head[2]));
    at = head[0].length;
  }
  TOKENS.lastIndex = at;
  for (let m = TOKENS.exec(line); m; m = TOKENS.exec(line)) {
    if (m.index > at) out.append(line.slice(at, m.index));
    const kind = m[1] ? "t-text" : m[2] ? "t-bar" : m[3] ? "t-number" : "t-odd";
    const token = el("span", { class: kind }, m[0]);
    if (kind === "t-odd") token.title = "a formula does not read this character as a space or a quote";
    out.append(token);
    at = m.index + m[0].length;
  }
  if (at < line.length) out.append(line.slice(at));
  return out;
}

// A text area with line numbers beside it, drawn in colour by the layer
// behind it (its own text is transparent), lines shaded where a diagnostic
// points. Tab indents with spaces (the engine reads a tab as no
// space); Escape then Tab moves on to the next control.
class CodeEditor {
  constructor(textarea, gutter, backdrop) {
    this.textarea = textarea;
    this.gutter = gutter;
    this.backdrop = backdrop;
    this.marks = new Map();   // line -> "error" | "warning"
    this.titles = new Map();  // line -> its diagnostics' texts
    this.leaving = false;
    textarea.addEventListener("input", () => this.draw());
    textarea.addEventListener("scroll", () => this.sync());
    textarea.addEventListener("keydown", (event) => this.key(event));
  }

  get value() {
    return this.textarea.value;
  }

  set value(text) {
    this.textarea.value = text;
    this.draw();
  }

  setDiagnostics(list) {
    this.marks = new Map();
    this.titles = new Map();
    for (const d of list) {
      if (!(d.line > 0)) continue;
      if (this.marks.get(d.line) !== "error") this.marks.set(d.line, d.severity);
      const told = this.titles.get(d.line) || [];
      const title = d.severity + ": " + d.message;
      if (!told.includes(title)) this.titles.set(d.line, [...told, title]);
    }
    this.draw();
  }

  draw() {
    const lines = this.textarea.value.split("\n");
    const numbers = document.createDocumentFragment();
    const shades = document.createDocumentFragment();
    for (let i = 1; i <= lines.length; i++) {
      const kind = this.marks.get(i) || "";
      const number = el("div", { class: kind, "data-line": i }, i);
      if (this.titles.has(i)) number.title = this.titles.get(i).join("\n");
      numbers.append(number);
      shades.append(el("div", { class: kind }, paint(lines[i - 1])));
    }
    this.gutter.replaceChildren(numbers);
    this.backdrop.replaceChildren(shades);
    // Room below the last line, as the text area has when it scrolls.
    this.gutter.append(el("div", {}, ""));
    this.sync();
  }

  sync() {
    this.gutter.scrollTop = this.textarea.scrollTop;
    this.backdrop.scrollTop = this.textarea.scrollTop;
    this.backdrop.scrollLeft = this.textarea.scrollLeft;
  }

  goTo(line) {
    const lines = this.textarea.value.split("\n");
    let start = 0;
    for (let i = 0; i < line - 1 && i < lines.length; i++) start += lines[i].length + 1;
    const end = start + (lines[line - 1] || "").length;
    this.textarea.focus();
    this.textarea.setSelectionRange(start, end);
    const lineHeight = parseFloat(getComputedStyle(this.textarea).lineHeight) || 20;
    this.textarea.scrollTop = Math.max(0, (line - 3) * lineHeight);
    this.sync();
  }

  key(event) {
    if (event.key === "Escape") {
      this.leaving = true;
      return;
    }
    const leaving = this.leaving;
    this.leaving = false;
    if (event.key !== "Tab" || leaving || event.ctrlKey || event.altKey || event.metaKey) return;
    event.preventDefault();
    this.indent(event.shiftKey);
  }

  // Replaces a range as typing would, so that undo takes it back.
  replace(from, to, text) {
    const area = this.textarea;
    area.focus();
    area.setSelectionRange(from, to);
    const done = text === "" ? document.execCommand("delete") : document.execCommand("insertText", false, text);
    if (!done) {
      area.setRangeText(text, from, to, "end");
      area.dispatchEvent(new Event("input", { bubbles: true }));
    }
  }

  // Tab: spaces to the next indent stop, or every selected line indented;
  // Shift+Tab: up to one indent of spaces off the start of each line.
  indent(outdent) {
    const area = this.textarea;
    const text = area.value;
    const start = area.selectionStart;
    const end = area.selectionEnd;
    const first = text.lastIndexOf("\n", start - 1) + 1;
    const selected = text.slice(start, end);
    if (!outdent && !selected.includes("\n")) {
      this.replace(start, end, " ".repeat(INDENT - ((start - first) % INDENT)));
      return;
    }
    // A selection that ends at the start of a line leaves that line alone.
    const last = end > start && text[end - 1] === "\n" ? end - 1 : end;
    const stop = text.indexOf("\n", last) < 0 ? text.length : text.indexOf("\n", last);
    const lines = text.slice(first, stop).split("\n");
    const lead = new RegExp("^ {1," + INDENT + "}");
    const changed = lines.map((line) => (outdent ? line.replace(lead, "") : " ".repeat(INDENT) + line));
    const block = changed.join("\n");
    if (block === text.slice(first, stop)) return;
    this.replace(first, stop, block);
    if (lines.length === 1) {
      const moved = lines[0].length - changed[0].length;
      const caret = Math.max(first, start - moved);
      area.setSelectionRange(caret, Math.max(caret, end - moved));
    } else {
      area.setSelectionRange(first, first + block.length);
    }
  }
}

const editor = new CodeEditor($("editor"), $("gutter"), $("backdrop"));
const baseEditor = new CodeEditor($("base"), $("base-gutter"), $("base-backdrop"));

// --- Keeping the state: URL and browser storage ----------------------------

function readUrl() {
  const params = new URLSearchParams(location.hash.slice(1));
  const stored = readStore(STORE_KEY, {});
  if (params.has("alg")) {
    editor.value = decodeText(params.get("alg") || "");
    baseEditor.value = decodeText(params.get("base") || "");
  } else {
    editor.value = stored.algorithm || "";
    baseEditor.value = stored.base || "";
  }
  if (stored.algorithmName) $("alg-name").value = stored.algorithmName;
  if (stored.baseName) $("base-name").value = stored.baseName;
  if (baseEditor.value) $("base-details").open = true;
  const sampleSeed = Number(params.get("sample"));
  state.sampleSeed = params.has("sample") && Number.isInteger(sampleSeed) && sampleSeed >= 0
    ? sampleSeed : randomSeed();
  const count = Number(params.get("count"));
  state.count = Number.isInteger(count) && count > 0 ? count : 200;
  const seed = Number(params.get("seed"));
  state.seed = params.has("seed") && Number.isInteger(seed) && seed >= 0 ? seed : null;
  state.question = params.has("q") ? params.get("q") : null;
  state.answer = params.has("ans") ? params.get("ans") : null;
  if (state.question === null && state.answer === null) recallPreview();
  $("sample-seed").value = state.sampleSeed;
  $("count").value = state.count;
}

function writeUrl() {
  const params = new URLSearchParams();
  params.set("alg", encodeText(editor.value));
  if (baseEditor.value) params.set("base", encodeText(baseEditor.value));
  params.set("sample", state.sampleSeed);
  if (state.count !== 200) params.set("count", state.count);
  if (state.seed !== null) params.set("seed", state.seed);
  if (state.question !== null) params.set("q", state.question);
  if (state.answer !== null) params.set("ans", state.answer);
  history.replaceState(null, "", "#" + params.toString());
}

function saveTexts() {
  writeStore(STORE_KEY, {
    algorithm: editor.value,
    base: baseEditor.value,
    algorithmName: $("alg-name").value,
    baseName: $("base-name").value,
  });
}

// The preview's variables are kept per algorithm text (the engine has no
// comment lines to hold them in the file): a choice follows the text through
// its edits, and an algorithm opened again finds the choice it had.
function rememberPreview() {
  if (state.question === null && state.answer === null) return;
  const kept = readStore(PREVIEW_KEY, {});
  const key = textHash(editor.value);
  delete kept[key];
  kept[key] = { question: state.question, answer: state.answer };
  const keys = Object.keys(kept);
  for (const old of keys.slice(0, Math.max(0, keys.length - PREVIEW_KEPT))) delete kept[old];
  writeStore(PREVIEW_KEY, kept);
}

function recallPreview() {
  const choice = readStore(PREVIEW_KEY, {})[textHash(editor.value)];
  state.question = choice ? choice.question : null;
  state.answer = choice ? choice.answer : null;
}

// --- Diagnostics -----------------------------------------------------------

function diagnosticItem(kind, line, message, prefix, target) {
  const item = el("li", { class: kind },
    el("span", { class: "where" }, (prefix || "") + (line > 0 ? "line " + line : "") + (line > 0 || prefix ? ":" : "")),
    message);
  if (line > 0) {
    item.setAttribute("data-line", line);
    item.addEventListener("click", () => {
      if (target === baseEditor) $("base-details").open = true;
      (target || editor).goTo(line);
    });
  }
  return item;
}

function listDiagnostics(list, into, ownSource) {
  const items = list.map((d) => {
    const elsewhere = d.source && d.source !== ownSource;
    return diagnosticItem(d.severity, d.line, d.message, elsewhere ? d.source + " " : "",
      (d.source || ownSource) === "base" ? baseEditor : editor);
  });
  if (items.length === 0) items.push(el("li", { class: "ok" }, "No diagnostics."));
  into.replaceChildren(...items);
}

let mainBaseDiagnostics = [];  // of the algorithm's check, about the base
let ownBaseDiagnostics = [];   // of the base's own check

function markBase() {
  baseEditor.setDiagnostics([...ownBaseDiagnostics, ...mainBaseDiagnostics]);
}

function showCheck(checked, error) {
  if (error instanceof ServiceError && error.body.field) {
    showRefused(error);
    return { text: "the text cannot be used", bad: true };
  }
  if (error) {
    $("diagnostics").replaceChildren(el("li", { class: "error" }, error.message));
    return { text: error.message, bad: true };
  }
  const own = checked.diagnostics.filter((d) => (d.source || "algorithm") === "algorithm");
  mainBaseDiagnostics = checked.diagnostics.filter((d) => d.source === "base");
  editor.setDiagnostics(own);
  markBase();
  listDiagnostics(checked.diagnostics, $("diagnostics"), "algorithm");
  // How many variants the question has, when the check could count them.
  $("variant-count").textContent = checked.variants ? checked.variants.summary : "";
  return {
    text: `${plural(checked.errors, "error")}, ${plural(checked.warnings, "warning")}`,
    bad: checked.errors > 0,
  };
}

// A text the engine cannot take (400 with the field and line) is told at its line.
function showRefused(error) {
  const line = error.body.line || 0;
  const diagnostic = { line, severity: "error", message: error.message, source: error.body.field };
  if (error.body.field === "base") {
    editor.setDiagnostics([]);
    mainBaseDiagnostics = [diagnostic];
    markBase();
  } else {
    editor.setDiagnostics([diagnostic]);
  }
  listDiagnostics([diagnostic], $("diagnostics"), "algorithm");
}

function checkBase() {
  const base = baseEditor.value;
  if (base === checkedBase) return;
  checkedBase = base;
  if (base.trim() === "") {
    lanes.baseCheck.drop();
    ownBaseDiagnostics = [];
    markBase();
    $("base-diagnostics").replaceChildren();
    $("base-state").textContent = "(optional)";
    return;
  }
  $("base-diagnostics").classList.add("stale");
  lanes.baseCheck.ask((signal) => api("/v1/check", { algorithm: base }, signal), (checked, error) => {
    $("base-diagnostics").classList.remove("stale");
    if (error) {
      const line = error instanceof ServiceError ? error.body.line || 0 : 0;
      ownBaseDiagnostics = [{ line, severity: "error", message: error.message }];
      $("base-state").textContent = "(cannot be used)";
    } else {
      ownBaseDiagnostics = checked.diagnostics;
      $("base-state").textContent =
        `(${plural(checked.errors, "error")}, ${plural(checked.warnings, "warning")})`;
      if (checked.errors > 0) $("base-details").open = true;
    }
    markBase();
    listDiagnostics(ownBaseDiagnostics, $("base-diagnostics"), "algorithm");
  });
}

// --- The sample ------------------------------------------------------------

function showSample(doc, error) {
  $("variants").classList.remove("stale");
  if (error) {
    sample = null;
    $("summary").textContent = error.message;
    $("variants").replaceChildren();
    $("histograms").replaceChildren();
    $("failures").replaceChildren();
    drawPager();
    return;
  }
  sample = doc;
  const summary = doc.summary;
  $("summary").textContent =
    `${summary.made} made, ${summary.failed} failed, ${summary.distinct} distinct (sample seed ${doc.seed})`;

  const failures = [];
  for (const f of doc.failures) {
    const item = f.file === "base.alg"
      ? diagnosticItem("error", 0, `${f.count} × ${f.message}`, f.line > 0 ? "base line " + f.line : "base")
      : diagnosticItem("error", f.line, `${f.count} × ${f.message}`);
    const button = el("button", { class: "seed", type: "button" }, f.first_seed);
    button.addEventListener("click", (event) => {
      event.stopPropagation();
      selectSeed(f.first_seed);
    });
    item.append(" (first with seed ", button, ")");
    failures.push(item);
  }
  if (doc.cascade.length > 0) {
    const names = doc.cascade.map((c) => c.variable).join(", ");
    failures.push(el("li", { class: "warning" }, `${names}: fail only because of the errors above`));
  }
  $("failures").replaceChildren(...failures);
  showHistograms(doc);
  fillChoices();

  if (state.seed === null && doc.variants.length > 0) {
    selectSeed(doc.variants[0].seed);
  } else if (state.seed === null && doc.failures.length > 0) {
    selectSeed(doc.failures[0].first_seed);
  } else {
    locate();
    drawTable();
    drawHeading();
  }
}

// Finds the variant's row in the sample and the table page that holds it.
function locate() {
  if (!sample) return;
  const row = sample.variants.findIndex((v) => v.seed === state.seed);
  if (row >= 0) {
    position = row;
    page = Math.floor(row / PAGE_ROWS);
  }
  page = Math.min(page, Math.max(0, pageCount() - 1));
}

function pageCount() {
  return sample ? Math.ceil(sample.variants.length / PAGE_ROWS) : 0;
}

function drawTable() {
  if (!sample) return;
  const head = el("tr", {}, el("th", {}, "row"), el("th", {}, "seed"),
    ...sample.variables.map((name) => el("th", {}, name)));
  const body = el("tbody");
  for (const v of sample.variants.slice(page * PAGE_ROWS, (page + 1) * PAGE_ROWS)) {
    const button = el("button", { class: "seed", type: "button" }, v.seed);
    button.addEventListener("click", () => selectSeed(v.seed));
    const row = el("tr", { "data-seed": v.seed }, el("td", {}, v.row), el("td", {}, button),
      ...sample.variables.map((name) => el("td", { title: v.values[name] }, v.values[name])));
    if (v.seed === state.seed) row.classList.add("selected");
    body.append(row);
  }
  $("variants").replaceChildren(el("thead", {}, head), body);
  drawPager();
}

function drawPager() {
  const pages = pageCount();
  const rows = sample ? sample.variants.length : 0;
  $("page-info").textContent = rows === 0 ? ""
    : `rows ${page * PAGE_ROWS + 1}–${Math.min(rows, (page + 1) * PAGE_ROWS)} of ${rows}`;
  $("page-first").disabled = $("page-previous").disabled = page <= 0;
  $("page-next").disabled = $("page-last").disabled = page >= pages - 1;
  drawSeedNav();
}

function turnPage(to) {
  page = Math.max(0, Math.min(to, pageCount() - 1));
  drawTable();
}

function showHistograms(doc) {
  const charts = [];
  for (const name of doc.variables) {
    const h = doc.histograms[name];
    if (!h) continue;
    const range = h.kind === "text" ? `text, ${h.distinct} distinct`
      : `${h.min} .. ${h.max}, ${h.distinct} distinct`;
    const largest = Math.max(1, ...h.bars.map((b) => b.count));
    const total = h.bars.reduce((sum, b) => sum + b.count, 0) || 1;
    const labelWidth = Math.min(150, 8 + 7 * Math.max(...h.bars.map((b) => b.label.length)));
    const width = 300;
    const barRoom = width - labelWidth - 48;
    const rowHeight = 16;
    const chart = svg("svg", {
      viewBox: `0 0 ${width} ${h.bars.length * rowHeight + 4}`,
      role: "img",
      "aria-label": `histogram of ${name}`,
    });
    h.bars.forEach((b, i) => {
      const y = i * rowHeight + 2;
      const label = b.label.length > 20 ? b.label.slice(0, 19) + "…" : b.label;
      chart.append(svg("text", { x: labelWidth - 6, y: y + 11, "text-anchor": "end" }, label));
      const w = b.count > 0 ? Math.max(1, (barRoom * b.count) / largest) : 0;
      const bar = svg("rect", { x: labelWidth, y: y + 2, width: w, height: rowHeight - 4 });
      bar.append(svg("title", {}, `${b.label}: ${b.count}`));
      chart.append(bar);
      chart.append(svg("text", { x: labelWidth + w + 4, y: y + 11 },
        `${((100 * b.count) / total).toFixed(0)}%`));
    });
    charts.push(el("div", { class: "histogram" },
      el("h3", {}, name + " ", el("span", { class: "range" }, range)), chart));
  }
  $("histograms").replaceChildren(...charts);
}

// --- One variant and its preview ------------------------------------------

function selectSeed(seed) {
  state.seed = seed;
  writeUrl();
  locate();
  drawTable();
  drawSeedNav();
  askVariant();
  if (request !== null) askSolve();
}

function drawSeedNav() {
  const rows = sample ? sample.variants.length : 0;
  const here = sample && state.seed !== null ? sample.variants.findIndex((v) => v.seed === state.seed) : -1;
  $("seed-previous").disabled = rows === 0 || (here >= 0 ? here === 0 : position < 0);
  $("seed-next").disabled = rows === 0 || (here >= 0 ? here >= rows - 1 : position >= rows - 1);
}

// Previous and Next walk the sample's variants in row order; after a random
// seed they go on from the row walked last.
function walk(step) {
  if (!sample || sample.variants.length === 0) return;
  const here = sample.variants.findIndex((v) => v.seed === state.seed);
  const row = here >= 0 ? here + step : step > 0 ? position + 1 : position;
  selectSeed(sample.variants[Math.max(0, Math.min(row, sample.variants.length - 1))].seed);
}

function placeOf(entry) {
  if (!entry.line) return "";
  return (entry.source === "base" ? "base line " : "line ") + entry.line + ": ";
}

function askVariant() {
  if (state.seed === null) return;
  const seed = state.seed;
  const body = withBase({ algorithm: editor.value, seed });
  $("preview").classList.add("stale");
  $("variant").classList.add("stale");
  lanes.variant.ask((signal) => api("/v1/solve", body, signal), (answer, error) => {
    variant = { seed, answer, error };
    showVariant();
  });
  askStudent();
}

// The heading, the preview and the list come from one answer, for one seed.
function showVariant() {
  $("preview").classList.remove("stale");
  $("variant").classList.remove("stale");
  const { answer, error } = variant;
  drawHeading();
  if (error) {
    $("variant").replaceChildren(el("p", { class: "hint" }, error.message));
  } else if (!answer.created) {
    $("variant").replaceChildren(el("p", { class: "solve-result error" },
      placeOf(answer.error) + answer.error.message));
  } else {
    const list = el("dl");
    for (const r of answer.results) {
      list.append(el("dt", {}, r.request));
      list.append(el("dd", { class: r.status === "ok" ? "" : "error" },
        r.status === "ok" ? r.text : placeOf(r) + r.message));
    }
    const parts = [list];
    if (answer.failures && answer.failures.cascade.length > 0) {
      parts.push(el("p", { class: "hint" },
        answer.failures.cascade.map((c) => c.variable).join(", ") +
        ": fail only because of the errors above"));
    }
    $("variant").replaceChildren(...parts);
  }
  fillChoices();
  showPreview();
}

function drawHeading() {
  if (!variant) return;
  const row = sample ? sample.variants.findIndex((v) => v.seed === variant.seed) : -1;
  $("variant-seed").textContent = "seed " + variant.seed +
    (row >= 0 ? ` · row ${sample.variants[row].row} of ${sample.summary.made + sample.summary.failed}` : "");
}

function variableNames() {
  if (variant && variant.answer && variant.answer.created) {
    return variant.answer.results.map((r) => r.request);
  }
  return sample ? sample.variables : [];
}

// Before the author picks: a variable named like a question (or the first
// text) and one named like an answer (or the last variable).
function guessChoice(names) {
  if (names.length === 0 || state.question !== null || state.answer !== null) return;
  const texts = sample ? names.filter((n) => sample.histograms[n] && sample.histograms[n].kind === "text") : [];
  const question = names.find((n) => /question|text|stem|prompt|task/i.test(n)) || texts[0];
  if (question === undefined) return;
  state.question = question;
  state.answer = names.find((n) => n !== question && /answer|ans|solution|result/i.test(n)) ||
    names.filter((n) => n !== question).pop() || "";
}

function fillChoices() {
  const names = variableNames();
  guessChoice(names);
  for (const [id, chosen] of [["question-var", state.question], ["answer-var", state.answer]]) {
    const select = $(id);
    const options = [el("option", { value: "" }, "(none)")];
    for (const name of names) options.push(el("option", { value: name }, name));
    if (chosen && !names.some((n) => n.toLowerCase() === chosen.toLowerCase())) {
      options.push(el("option", { value: chosen }, chosen + " (not defined)"));
    }
    select.replaceChildren(...options);
    const match = names.find((n) => chosen && n.toLowerCase() === chosen.toLowerCase());
    select.value = match || chosen || "";
  }
}

function resultOf(name) {
  if (!variant || !variant.answer || !variant.answer.created || !name) return null;
  return variant.answer.results.find((r) => r.request.toLowerCase() === name.toLowerCase()) || null;
}

function previewPart(name, kind, label) {
  if (!name) return null;
  const r = resultOf(name);
  const part = el("div", { class: kind });
  if (label) part.append(el("span", { class: "label" }, label));
  if (!r) part.append(el("span", { class: "error" }, `'${name}' is not defined`));
  else if (r.status !== "ok") part.append(el("span", { class: "error" }, placeOf(r) + r.message));
  else part.append(el("span", { class: "text" }, r.text));
  return part;
}

function showPreview() {
  const preview = $("preview");
  if (!variant) {
    preview.replaceChildren(el("p", { class: "hint" }, "No variant yet."));
  } else if (variant.error || !variant.answer.created) {
    preview.replaceChildren(el("p", { class: "hint" }, "This variant could not be made; see below."));
  } else if (!state.question && !state.answer) {
    preview.replaceChildren(el("p", { class: "hint" }, "Pick the variables that hold the question and its answer."));
  } else {
    preview.replaceChildren(...[previewPart(state.question, "question"),
      previewPart(state.answer, "answer", "Answer")].filter(Boolean));
  }
}

function choose() {
  state.question = $("question-var").value;
  state.answer = $("answer-var").value;
  rememberPreview();
  writeUrl();
  showPreview();
}

function askSolve() {
  const result = $("solve-result");
  if (state.seed === null) {
    result.textContent = "Choose a variant first.";
    return;
  }
  result.classList.add("stale");
  const body = withBase({ algorithm: editor.value, seed: state.seed, requests: [request] });
  lanes.solve.ask((signal) => api("/v1/solve", body, signal), (answer, error) => {
    result.classList.remove("stale");
    if (error) {
      result.className = "solve-result error";
      result.textContent = error.message;
    } else if (!answer.created) {
      result.className = "solve-result error";
      result.textContent = placeOf(answer.error) + answer.error.message;
    } else {
      const r = answer.results[0];
      result.className = r.status === "ok" ? "solve-result" : "solve-result error";
      result.textContent = r.status === "ok" ? r.text : placeOf(r) + r.message;
    }
  });
}

// --- The student view ------------------------------------------------------
// The variant shown, as the service's grade document gives it to a student:
// the prompt, an input per part (a choice's options in the variant's own
// order), and after Check each part's verdict, the worked solution and the
// feedback. Asked only while the panel is open.

const NO_QUESTION = "the algorithm declares no question";
let graded = null;  // {body, doc}: the request and the question shown

// Math between \( \) (inline) and \[ \] (display), typeset by KaTeX; the
// rest stays text nodes. The texts come from the algorithm, so nothing in
// them is ever read as HTML; what KaTeX cannot typeset is shown as written.
const MATH = /\\\(([\s\S]*?)\\\)|\\\[([\s\S]*?)\\\]/g;

function mathText(text) {
  const out = document.createDocumentFragment();
  let at = 0;
  for (const m of text.matchAll(MATH)) {
    if (m.index > at) out.append(text.slice(at, m.index));
    const display = m[2] !== undefined;
    const math = el("span", { class: display ? "math display" : "math" });
    try {
      if (!window.katex) throw new Error("KaTeX did not load");
      window.katex.render(display ? m[2] : m[1], math, { displayMode: display, throwOnError: true });
    } catch (error) {
      math.replaceChildren(m[0]);
      math.classList.add("math-error");
      math.title = error.message;
    }
    out.append(math);
    at = m.index + m[0].length;
  }
  if (at < text.length) out.append(text.slice(at));
  return out;
}

function askStudent() {
  if (!$("student-details").open) {
    lanes.grade.drop();
    $("student").classList.remove("stale");
    return;
  }
  if (state.seed === null || editor.value.trim() === "") {
    lanes.grade.drop();
    graded = null;
    $("student").classList.remove("stale");
    $("student").replaceChildren(el("p", { class: "hint" }, "No variant yet."));
    return;
  }
  const body = withBase({ algorithm: editor.value, seed: state.seed });
  $("student").classList.add("stale");
  lanes.grade.ask((signal) => api("/v1/grade", body, signal), (doc, error) => {
    $("student").classList.remove("stale");
    if (error) {
      graded = null;
      showStudentError(error);
      return;
    }
    graded = { body, doc };
    drawStudent(doc);
  });
}

function showStudentError(error) {
  const body = error instanceof ServiceError ? error.body : {};
  if (body.type === "urn:zekalg:problem:cannot-grade" && error.message.startsWith(NO_QUESTION)) {
    $("student").replaceChildren(el("p", { class: "hint" },
      "declare the question with ?prompt and its parts: docs/questions.md"));
    return;
  }
  const where = placeOf({ source: body.field, line: body.line });
  $("student").replaceChildren(el("p", { class: "solve-result error" }, where + error.message));
}

function drawStudent(doc) {
  const items = [];
  if (doc.prompt !== undefined && doc.prompt !== null) {
    items.push(el("div", { class: "prompt" }, mathText(doc.prompt)));
  }
  for (const part of doc.parts) {
    const name = `student-part-${part.part}`;
    const legend = doc.parts.length > 1 ? `Part ${part.part}` : part.kind === "choice" ? "Choose one" : "Answer";
    const box = el("fieldset", { class: "part", "data-part": part.part }, el("legend", {}, legend));
    if (part.kind === "choice") {
      const list = el("div", { class: "options" });
      part.options.forEach((option, i) => {
        list.append(el("label", { class: "option" },
          el("input", { type: "radio", name, value: String(i + 1) }), " ",
          el("span", { class: "option-text" }, mathText(option))));
      });
      box.append(list);
    } else {
      box.append(el("input", { type: "text", name, spellcheck: false, autocomplete: "off",
        "data-kind": part.kind }));
      box.lastChild.setAttribute("aria-label", legend);
    }
    box.append(el("span", { class: "verdict", role: "status" }));
    items.push(box);
  }
  items.push(el("div", { class: "student-bar" },
    el("button", { type: "submit" }, "Check"), el("span", { class: "student-score" })));
  items.push(el("div", { class: "after", hidden: true }));
  $("student").replaceChildren(...items);
}

// A choice is sent as the option's own text, which the grading always
// reads as that option.
function choiceResponse(part, box) {
  const picked = box.querySelector("input[type=radio]:checked");
  return picked ? part.options[Number(picked.value) - 1] : "";
}

function checkStudent(event) {
  event.preventDefault();
  if (!graded || $("student").classList.contains("stale")) return;
  const { body, doc } = graded;
  const boxes = [...$("student").querySelectorAll("fieldset.part")];
  const responses = doc.parts.map((part, i) => part.kind === "choice"
    ? choiceResponse(part, boxes[i]) : boxes[i].querySelector("input").value);
  $("student").classList.add("stale");
  lanes.grade.ask((signal) => api("/v1/grade", { ...body, responses }, signal), (answer, error) => {
    $("student").classList.remove("stale");
    if (error) {
      graded = null;
      showStudentError(error);
      return;
    }
    showVerdicts(answer, boxes);
  });
}

function showVerdicts(answer, boxes) {
  for (const v of answer.verdicts) {
    const box = boxes[v.part - 1];
    if (!box) continue;
    const verdict = box.querySelector(".verdict");
    verdict.className = "verdict " + v.result;
    verdict.textContent = v.result === "unreadable" ? `unreadable: ${v.reason}` : v.result;
  }
  const parts = answer.parts.length;
  $("student").querySelector(".student-score").textContent = `${answer.right} of ${plural(parts, "part")} right`;
  const after = $("student").querySelector(".after");
  const texts = [];
  for (const [key, title] of [["solution", "Worked solution"], ["feedback", "Feedback"]]) {
    if (answer[key] === undefined || answer[key] === null) continue;
    texts.push(el("h3", {}, title), el("div", { class: key }, mathText(answer[key])));
  }
  after.replaceChildren(...texts);
  after.hidden = texts.length === 0;
}

// --- Test files ------------------------------------------------------------
// A test file holds, per seed, what `zekalg solve` prints for that seed; a
// new one gets the seeds `zekalg test --update` gives it.

// The seed of a row: base and row mixed to 64 bits (splitmix64's finisher),
// the high 32 bits kept, as the command mixes a sample's row seeds.
function rowSeed(base, row) {
  const mask = (1n << 64n) - 1n;
  let z = (BigInt(base) + 0x9E3779B97F4A7C15n * BigInt(row)) & mask;
  z = ((z ^ (z >> 30n)) * 0xBF58476D1CE4E5B9n) & mask;
  z = ((z ^ (z >> 27n)) * 0x94D049BB133111EBn) & mask;
  return Number((z ^ (z >> 31n)) >> 32n);
}

function parseTest(text) {
  const parsed = { base: "", requests: [], blocks: [] };
  let current = null;
  const lines = textLines(text);
  lines.forEach((line, i) => {
    const fail = (what) => { throw new Error(`line ${i + 1}: ${what}`); };
    if (line.startsWith("seed ")) {
      const digits = line.slice(5);
      if (!/^[0-9]{1,10}$/.test(digits) || Number(digits) > 4294967295) {
        fail("a seed is a whole number from 0 to 4294967295");
      }
      current = { seed: Number(digits), lines: [] };
      parsed.blocks.push(current);
    } else if (current) {
      current.lines.push(line);
    } else if (line === "" || line.startsWith("#")) {
      // a comment
    } else if (line.startsWith("@base ")) {
      if (parsed.base) fail("a second @base");
      parsed.base = line.slice(6);
    } else if (line.startsWith("@request ")) {
      parsed.requests.push(line.slice(9));
    } else {
      fail("expected @base, @request or a \"seed N\" line");
    }
  });
  for (const block of parsed.blocks) {
    while (block.lines.length > 0 && block.lines[block.lines.length - 1] === "") block.lines.pop();
  }
  return parsed;
}

function formatTest(algorithmName, t) {
  let text = `# The expected variants of ${algorithmName}: \`zekalg test\` compares, \`zekalg test --update\` rewrites.\n`;
  if (t.base) text += `@base ${t.base}\n`;
  for (const r of t.requests) text += `@request ${r}\n`;
  for (const block of t.blocks) text += `\nseed ${block.seed}\n` + block.lines.map((l) => l + "\n").join("");
  return text;
}

// Lines as the command reads them: line ends removed, no empty last line.
function textLines(text) {
  const lines = text.split("\n").map((l) => (l.endsWith("\r") ? l.slice(0, -1) : l));
  if (lines[lines.length - 1] === "") lines.pop();
  return lines;
}

function fileName(path) {
  return path.split(/[\\/]/).pop();
}

// What `zekalg solve NAME.alg --seed SEED` prints (output and errors in one
// stream), from the service's answer for that seed.
function variantLines(answer, t) {
  const algorithmName = fileName($("alg-name").value) || "question.alg";
  const baseName = fileName(t.base || $("base-name").value) || "base.alg";
  const where = (source, line) =>
    (source === "base" ? baseName : algorithmName) + (line > 0 ? `:${line}: ` : ": ");
  let out = "";
  if (!answer.created) {
    out += `${where(answer.error.source, answer.error.line)}error: ${answer.error.message}\n`;
  } else if (t.requests.length > 0) {
    for (const r of answer.results) {
      if (r.status === "ok") out += `${r.request} = ${r.text}\n`;
      else out += `${where(r.source, r.line)}error: ${r.line > 0 ? "" : `request '${r.request}': `}${r.message}\n`;
    }
  } else {
    for (const r of answer.results) if (r.status === "ok") out += `${r.request} = ${r.text}\n`;
    if (answer.results.some((r) => r.status !== "ok")) {
      for (const e of answer.failures.errors) out += `${where(e.source, e.line)}error: ${e.message}\n`;
      const cascade = answer.failures.cascade.map((c) => c.variable);
      if (cascade.length > 0) {
        const names = cascade.length === 1 ? cascade[0]
          : cascade.slice(0, -1).join(", ") + " and " + cascade[cascade.length - 1];
        out += `${algorithmName}: note: ${names} ${cascade.length === 1 ? "fails" : "fail"} only because of the ` +
          `${answer.failures.errors.length === 1 ? "error" : "errors"} above (a host that solves ` +
          `${cascade.length === 1 ? "it" : "them"} gets the first error)\n`;
      }
    }
  }
  return textLines(out);
}

// A line diff of two short blocks (longest common subsequence).
function diffLines(expected, got) {
  const n = expected.length;
  const m = got.length;
  const common = Array.from({ length: n + 1 }, () => new Array(m + 1).fill(0));
  for (let i = n - 1; i >= 0; i--) {
    for (let j = m - 1; j >= 0; j--) {
      common[i][j] = expected[i] === got[j] ? common[i + 1][j + 1] + 1
        : Math.max(common[i + 1][j], common[i][j + 1]);
    }
  }
  const out = [];
  let i = 0;
  let j = 0;
  while (i < n || j < m) {
    if (i < n && j < m && expected[i] === got[j]) {
      out.push("    " + expected[i]); i++; j++;
    } else if (i < n && (j === m || common[i + 1][j] >= common[i][j + 1])) {
      out.push("  - " + expected[i++]);
    } else {
      out.push("  + " + got[j++]);
    }
  }
  return out;
}

// Solves every seed of the test; with `compare`, tells which blocks changed.
// Either way the test now holds the new lines, ready to download.
function runTest(compare) {
  const t = test && test.opened ? test : {
    base: baseEditor.value.trim() !== "" ? fileName($("base-name").value) : "",
    requests: [],
    blocks: Array.from({ length: TEST_SEEDS }, (_, k) => ({ seed: rowSeed(0, k + 1), lines: [] })),
  };
  if (t.base && baseEditor.value.trim() === "") {
    $("test-summary").textContent = `This test needs its base ${t.base}: open it as the base algorithm.`;
    return;
  }
  const algorithm = editor.value;
  const body = (seed) => {
    const b = withBase({ algorithm, seed });
    if (t.requests.length > 0) b.requests = t.requests;
    return b;
  };
  $("test-summary").textContent = "Solving…";
  $("test-summary").className = "summary";
  $("test-download").disabled = true;
  lanes.test.ask(async (signal) => {
    const solved = [];
    for (const block of t.blocks) solved.push(await api("/v1/solve", body(block.seed), signal));
    return solved;
  }, (solved, error) => {
    if (error) {
      $("test-summary").textContent = error.message;
      return;
    }
    const got = solved.map((answer) => variantLines(answer, t));
    const failing = solved.filter((a) => !a.created || a.results.some((r) => r.status !== "ok")).length;
    const report = [];
    let changed = 0;
    t.blocks.forEach((block, k) => {
      if (block.lines.length === got[k].length && block.lines.every((l, i) => l === got[k][i])) return;
      changed++;
      report.push(`seed ${block.seed}`, ...diffLines(block.lines, got[k]));
    });
    // The file to download holds the new lines; an opened test keeps its
    // own to compare against again.
    const updated = { ...t, blocks: t.blocks.map((block, k) => ({ seed: block.seed, lines: got[k] })) };
    // Recording only failures would pass forever while the question is broken.
    const refused = failing === t.blocks.length;
    const text = refused ? "" : formatTest(fileName($("alg-name").value) || "question.alg", updated);
    test = t.opened ? { ...t, text } : { ...updated, text };
    $("test-download").disabled = refused;
    const why = refused ? ` Not recorded: every variant fails, the first with "${
      got.flat().find((line) => line.includes(": error: "))}".` : "";
    if (refused && !compare) {
      $("test-summary").textContent = why.trim();
      $("test-summary").className = "summary bad";
      $("test-text").textContent = "";
    } else if (compare) {
      $("test-summary").textContent = changed === 0
        ? `ok: the ${plural(t.blocks.length, "stored variant")} are the same.`
        : `${changed} of ${plural(t.blocks.length, "variant")} changed;` +
          (refused ? why : " Download .test keeps the new ones.");
      $("test-summary").className = changed === 0 ? "summary ok" : "summary bad";
      $("test-text").textContent = report.join("\n");
    } else {
      $("test-summary").textContent = `Recorded ${plural(t.blocks.length, "variant")}.`;
      $("test-summary").className = "summary";
      $("test-text").textContent = text;
    }
  });
}

// An edit makes what the test part shows an answer to an older text.
function testOutdated() {
  lanes.test.drop();
  if ($("test-text").textContent === "" && $("test-summary").textContent === "") return;
  $("test-text").textContent = "";
  $("test-download").disabled = true;
  $("test-summary").className = "summary";
  $("test-summary").textContent = test && test.opened
    ? "The algorithm changed: Compare again." : "The algorithm changed: Record again.";
}

// --- Files -----------------------------------------------------------------

function download(name, text) {
  const body = text === "" || text.endsWith("\n") ? text : text + "\n";
  const link = el("a", {
    href: URL.createObjectURL(new Blob([body], { type: "text/plain;charset=utf-8" })),
    download: name,
  });
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(link.href), 10000);
}

// A file chosen in `input` is read as UTF-8, as the command reads files.
function onFile(input, take) {
  input.addEventListener("change", async () => {
    const file = input.files[0];
    input.value = "";
    if (!file) return;
    let text;
    try {
      text = new TextDecoder("utf-8", { fatal: true }).decode(await file.arrayBuffer());
    } catch {
      setStatus(`${file.name}: not UTF-8 text`, "bad");
      return;
    }
    take(text.replace(/\r\n?/g, "\n"), file.name);
  });
}

function withExtension(name, extension) {
  const bare = fileName(name).replace(/\.[^.]*$/, "") || "question";
  return bare + extension;
}

// --- Refreshing ------------------------------------------------------------

// An edit: every answer on its way is to an older text.
function edited() {
  for (const lane of [lanes.check, lanes.sample, lanes.variant, lanes.solve, lanes.grade]) lane.drop();
  for (const id of ["diagnostics", "variants", "failures", "histograms"]) $(id).classList.add("stale");
  if (state.seed !== null) for (const id of ["preview", "variant"]) $(id).classList.add("stale");
  if (state.seed !== null && $("student-details").open) $("student").classList.add("stale");
  if (request !== null) $("solve-result").classList.add("stale");
  testOutdated();
  later();
}

function refresh() {
  clearTimeout(timer);
  writeUrl();
  saveTexts();
  rememberPreview();
  checkBase();
  for (const id of ["diagnostics", "variants", "failures", "histograms"]) $(id).classList.remove("stale");
  const algorithm = editor.value;
  if (algorithm.trim() === "") {
    for (const lane of [lanes.check, lanes.sample, lanes.variant, lanes.solve]) lane.drop();
    askStudent();
    editor.setDiagnostics([]);
    mainBaseDiagnostics = [];
    markBase();
    sample = null;
    variant = null;
    for (const id of ["diagnostics", "variants", "histograms", "failures", "variant"]) $(id).replaceChildren();
    for (const id of ["preview", "variant", "solve-result"]) $(id).classList.remove("stale");
    $("summary").textContent = "";
    $("variant-seed").textContent = "";
    showPreview();
    drawPager();
    setStatus("Type an algorithm.");
    return;
  }
  for (const id of ["diagnostics", "variants", "failures", "histograms"]) $(id).classList.add("stale");
  setStatus("Checking…", "busy");
  // The variant first: it is what the author reads, and the cheapest. Until
  // one is chosen it is the sample's first row, whose seed is known before
  // the sample comes.
  if (state.seed === null) {
    state.seed = rowSeed(state.sampleSeed, 1);
    writeUrl();
  }
  askVariant();
  if (request !== null) askSolve();
  const check = withBase({ algorithm });
  lanes.check.ask((signal) => api("/v1/check", check, signal), (checked, error) => {
    $("diagnostics").classList.remove("stale");
    const told = showCheck(checked, error);
    setStatus(told.text, told.bad ? "bad" : "");
  });
  const wanted = withBase({ algorithm, seed: state.sampleSeed, count: state.count });
  lanes.sample.ask((signal) => api("/v1/sample", wanted, signal), (doc, error) => {
    for (const id of ["failures", "histograms"]) $(id).classList.remove("stale");
    showSample(doc, error);
  });
}

function later() {
  clearTimeout(timer);
  timer = setTimeout(refresh, DEBOUNCE_MS);
}

// --- Start -----------------------------------------------------------------

editor.textarea.addEventListener("input", edited);
baseEditor.textarea.addEventListener("input", edited);
$("sample-seed").addEventListener("input", () => {
  const value = Number($("sample-seed").value);
  if (Number.isInteger(value) && value >= 0 && value <= 4294967295) {
    state.sampleSeed = value;
    later();
  }
});
$("count").addEventListener("input", () => {
  const value = Number($("count").value);
  if (Number.isInteger(value) && value >= 1) {
    state.count = value;
    later();
  }
});
$("reseed").addEventListener("click", () => {
  state.sampleSeed = randomSeed();
  $("sample-seed").value = state.sampleSeed;
  refresh();
});
$("seed-previous").addEventListener("click", () => walk(-1));
$("seed-next").addEventListener("click", () => walk(1));
$("seed-random").addEventListener("click", () => selectSeed(randomSeed()));
$("student-details").addEventListener("toggle", askStudent);
$("student").addEventListener("submit", checkStudent);
$("page-first").addEventListener("click", () => turnPage(0));
$("page-previous").addEventListener("click", () => turnPage(page - 1));
$("page-next").addEventListener("click", () => turnPage(page + 1));
$("page-last").addEventListener("click", () => turnPage(pageCount() - 1));
$("question-var").addEventListener("change", choose);
$("answer-var").addEventListener("change", choose);
$("solve-form").addEventListener("submit", (event) => {
  event.preventDefault();
  request = $("request").value;
  askSolve();
});

$("alg-open").addEventListener("click", () => $("alg-file").click());
$("base-open").addEventListener("click", () => $("base-file").click());
$("test-open").addEventListener("click", () => $("test-file").click());
onFile($("alg-file"), (text, name) => {
  editor.value = text;
  $("alg-name").value = name;
  state.seed = null;
  recallPreview();
  // A test file opened before belongs to the algorithm that was open.
  test = null;
  $("test-run").disabled = true;
  $("test-summary").textContent = "";
  edited();
  refresh();
});
onFile($("base-file"), (text, name) => {
  baseEditor.value = text;
  $("base-name").value = name;
  $("base-details").open = true;
  edited();
  refresh();
});
onFile($("test-file"), (text, name) => {
  try {
    test = { ...parseTest(text), opened: true, name };
  } catch (error) {
    $("test-summary").textContent = `${name}: ${error.message}`;
    return;
  }
  $("test-run").disabled = false;
  $("test-text").textContent = "";
  $("test-summary").className = "summary";
  $("test-summary").textContent = `${name}: ${plural(test.blocks.length, "stored variant")}` +
    (test.base ? `, on the base ${test.base}` : "") + ". Compare solves them again.";
});
$("alg-download").addEventListener("click", () => download(fileName($("alg-name").value) || "question.alg", editor.value));
$("base-download").addEventListener("click", () => download(fileName($("base-name").value) || "base.alg", baseEditor.value));
$("test-download").addEventListener("click", () => {
  if (test && test.text) download(withExtension($("alg-name").value, ".test"), test.text);
});
$("test-record").addEventListener("click", () => runTest(false));
$("test-run").addEventListener("click", () => runTest(true));
for (const id of ["alg-name", "base-name"]) $(id).addEventListener("change", saveTexts);

$("token-form").addEventListener("submit", (event) => {
  event.preventDefault();
  token = $("token").value.trim();
  sessionStorage.setItem("zekalg-token", token);
  $("token-form").hidden = true;
  checkedBase = null;
  refresh();
});
window.addEventListener("hashchange", () => {
  readUrl();
  edited();
  refresh();
});

readUrl();
refresh();
