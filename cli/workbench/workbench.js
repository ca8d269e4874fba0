// The workbench: an editor for one algorithm, its diagnostics, a sample of
// variants with histograms, one variant whole, and a box to solve requests
// in it. Everything comes from the service's /v1/ endpoints; the state
// (algorithm, base, sample seed, count, variant seed) lives in the URL's
// fragment, so a link brings the same view back.
"use strict";

const DEBOUNCE_MS = 350;
const TABLE_ROWS = 20;

const $ = (id) => document.getElementById(id);
const editor = $("editor");
const baseEditor = $("base");
const gutter = $("gutter");
const backdrop = $("backdrop");

const state = { sampleSeed: 0, count: 200, seed: null };
let generation = 0;  // answers to older edits are dropped
let timer = null;
let marks = new Map();  // line -> "error" | "warning"
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

// --- The URL ---------------------------------------------------------------

function readUrl() {
  const params = new URLSearchParams(location.hash.slice(1));
  editor.value = decodeText(params.get("alg") || "");
  baseEditor.value = decodeText(params.get("base") || "");
  if (baseEditor.value) $("base-details").open = true;
  const sample = Number(params.get("sample"));
  state.sampleSeed = params.has("sample") && Number.isInteger(sample) && sample >= 0 ? sample : randomSeed();
  const count = Number(params.get("count"));
  state.count = Number.isInteger(count) && count > 0 ? count : 200;
  const seed = Number(params.get("seed"));
  state.seed = params.has("seed") && Number.isInteger(seed) && seed >= 0 ? seed : null;
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
  history.replaceState(null, "", "#" + params.toString());
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

function withBase(body) {
  if (baseEditor.value.trim() !== "") body.base = baseEditor.value;
  return body;
}

// --- The editor ------------------------------------------------------------

function lineCount() {
  return editor.value.split("\n").length;
}

function drawLines() {
  const lines = lineCount();
  const numbers = document.createDocumentFragment();
  const shades = document.createDocumentFragment();
  for (let i = 1; i <= lines; i++) {
    const kind = marks.get(i) || "";
    numbers.append(el("div", { class: kind, "data-line": i }, i));
    shades.append(el("div", { class: kind }));
  }
  gutter.replaceChildren(numbers);
  backdrop.replaceChildren(shades);
  // Room below the last line, as the text area has when it scrolls.
  gutter.append(el("div", {}, ""));
  syncScroll();
}

function syncScroll() {
  gutter.scrollTop = editor.scrollTop;
  backdrop.scrollTop = editor.scrollTop;
  backdrop.scrollLeft = editor.scrollLeft;
}

function goToLine(line) {
  const lines = editor.value.split("\n");
  let start = 0;
  for (let i = 0; i < line - 1 && i < lines.length; i++) start += lines[i].length + 1;
  const end = start + (lines[line - 1] || "").length;
  editor.focus();
  editor.setSelectionRange(start, end);
  const lineHeight = parseFloat(getComputedStyle(editor).lineHeight) || 20;
  editor.scrollTop = Math.max(0, (line - 3) * lineHeight);
  syncScroll();
}

// --- Diagnostics -----------------------------------------------------------

function diagnosticItem(kind, line, message, prefix) {
  const item = el("li", { class: kind },
    el("span", { class: "where" }, (prefix || "") + (line > 0 ? "line " + line : "") + (line > 0 || prefix ? ":" : "")),
    message);
  if (line > 0) {
    item.setAttribute("data-line", line);
    item.addEventListener("click", () => goToLine(line));
  }
  return item;
}

function showDiagnostics(list) {
  marks = new Map();
  const items = [];
  for (const d of list) {
    if (d.line > 0 && marks.get(d.line) !== "error") marks.set(d.line, d.severity);
    items.push(diagnosticItem(d.severity, d.line, d.message));
  }
  if (items.length === 0) items.push(el("li", { class: "ok" }, "No diagnostics."));
  $("diagnostics").replaceChildren(...items);
  drawLines();
  // A title on each marked line number tells its messages.
  for (const d of list) {
    const number = gutter.querySelector(`div[data-line="${d.line}"]`);
    if (number) number.title = (number.title ? number.title + "\n" : "") + d.severity + ": " + d.message;
  }
}

// A text the engine cannot take (400 with the field and line) is told at its line.
function showRefused(error) {
  const line = error.body.line || 0;
  const place = error.body.field === "base" ? "base " : "";
  if (error.body.field === "algorithm") {
    showDiagnostics([{ line, severity: "error", message: error.message }]);
  } else {
    marks = new Map();
    drawLines();
    $("diagnostics").replaceChildren(diagnosticItem("error", 0, error.message, place));
  }
}

// --- Variants --------------------------------------------------------------

function showSample(doc) {
  const summary = doc.summary;
  $("summary").textContent = `${summary.made} made, ${summary.failed} failed, ${summary.distinct} distinct ` +
    `(${doc.variants.length > TABLE_ROWS ? "first " + TABLE_ROWS + " shown; " : ""}sample seed ${doc.seed})`;

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

  const head = el("tr", {}, el("th", {}, "row"), el("th", {}, "seed"),
    ...doc.variables.map((name) => el("th", {}, name)));
  const rows = [el("thead", {}, head)];
  const body = el("tbody");
  for (const v of doc.variants.slice(0, TABLE_ROWS)) {
    const button = el("button", { class: "seed", type: "button" }, v.seed);
    button.addEventListener("click", () => selectSeed(v.seed));
    const row = el("tr", { "data-seed": v.seed }, el("td", {}, v.row), el("td", {}, button),
      ...doc.variables.map((name) => el("td", {}, v.values[name])));
    if (v.seed === state.seed) row.classList.add("selected");
    body.append(row);
  }
  rows.push(body);
  $("variants").replaceChildren(...rows);
  showHistograms(doc);
  if (state.seed === null && doc.variants.length > 0) selectSeed(doc.variants[0].seed);
  else if (state.seed === null && doc.failures.length > 0) selectSeed(doc.failures[0].first_seed);
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

// --- One variant -----------------------------------------------------------

function selectSeed(seed) {
  state.seed = seed;
  writeUrl();
  for (const row of $("variants").querySelectorAll("tbody tr")) {
    row.classList.toggle("selected", Number(row.dataset.seed) === seed);
  }
  showVariant(generation);
}

function placeOf(entry) {
  if (!entry.line) return "";
  return (entry.source === "base" ? "base line " : "line ") + entry.line + ": ";
}

async function showVariant(current) {
  if (state.seed === null) return;
  $("variant-seed").textContent = "seed " + state.seed;
  let answer;
  try {
    answer = await api("/v1/solve", withBase({ algorithm: editor.value, seed: state.seed }));
  } catch (error) {
    if (current !== generation) return;
    $("variant").replaceChildren(el("p", { class: "hint" }, error.message));
    return;
  }
  if (current !== generation) return;
  if (!answer.created) {
    $("variant").replaceChildren(el("p", { class: "solve-result error" },
      placeOf(answer.error) + answer.error.message));
    return;
  }
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

async function solveRequest(event) {
  event.preventDefault();
  const request = $("request").value;
  const result = $("solve-result");
  if (state.seed === null) {
    result.textContent = "Choose a variant first.";
    return;
  }
  result.className = "solve-result";
  result.textContent = "…";
  try {
    const answer = await api("/v1/solve",
      withBase({ algorithm: editor.value, seed: state.seed, requests: [request] }));
    if (!answer.created) {
      result.className = "solve-result error";
      result.textContent = placeOf(answer.error) + answer.error.message;
      return;
    }
    const r = answer.results[0];
    result.className = r.status === "ok" ? "solve-result" : "solve-result error";
    result.textContent = r.status === "ok" ? r.text : placeOf(r) + r.message;
  } catch (error) {
    result.className = "solve-result error";
    result.textContent = error.message;
  }
}

// --- Refreshing ------------------------------------------------------------

async function refresh() {
  const current = ++generation;
  writeUrl();
  if (editor.value.trim() === "") {
    showDiagnostics([]);
    $("variants").replaceChildren();
    $("histograms").replaceChildren();
    $("summary").textContent = "";
    $("failures").replaceChildren();
    setStatus("Type an algorithm.");
    return;
  }
  setStatus("Checking…", "busy");
  const check = api("/v1/check", withBase({ algorithm: editor.value }));
  const sample = api("/v1/sample", withBase({
    algorithm: editor.value, seed: state.sampleSeed, count: state.count,
  }));
  if (state.seed !== null) showVariant(current);
  const [checked, sampled] = await Promise.allSettled([check, sample]);
  if (current !== generation) return;

  let problems = "";
  if (checked.status === "fulfilled") {
    showDiagnostics(checked.value.diagnostics);
    problems = `${checked.value.errors} error${checked.value.errors === 1 ? "" : "s"}, ` +
      `${checked.value.warnings} warning${checked.value.warnings === 1 ? "" : "s"}`;
  } else if (checked.reason instanceof ServiceError && checked.reason.body.field) {
    showRefused(checked.reason);
    problems = "the text cannot be used";
  } else {
    problems = checked.reason.message;
  }
  if (sampled.status === "fulfilled") {
    showSample(sampled.value);
  } else {
    $("summary").textContent = sampled.reason.message;
    $("variants").replaceChildren();
    $("histograms").replaceChildren();
    $("failures").replaceChildren();
  }
  const bad = checked.status !== "fulfilled" || checked.value.errors > 0;
  setStatus(problems, bad ? "bad" : "");
}

function later() {
  clearTimeout(timer);
  timer = setTimeout(refresh, DEBOUNCE_MS);
}

// --- Start -----------------------------------------------------------------

editor.addEventListener("input", () => {
  drawLines();
  later();
});
editor.addEventListener("scroll", syncScroll);
editor.addEventListener("keydown", (event) => {
  if (event.key === "Tab" && !event.shiftKey) {
    event.preventDefault();
    editor.setRangeText("\t", editor.selectionStart, editor.selectionEnd, "end");
    drawLines();
    later();
  }
});
baseEditor.addEventListener("input", later);
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
$("solve-form").addEventListener("submit", solveRequest);
$("token-form").addEventListener("submit", (event) => {
  event.preventDefault();
  token = $("token").value.trim();
  sessionStorage.setItem("zekalg-token", token);
  $("token-form").hidden = true;
  refresh();
});
window.addEventListener("hashchange", () => {
  readUrl();
  refresh();
});

readUrl();
drawLines();
refresh();
