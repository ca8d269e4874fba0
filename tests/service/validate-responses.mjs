// Checks every answer the service's tests received (one JSON line each:
// method, path, status, content_type, body; written by tests/cli's serve
// tests with ZEKALG_SERVICE_RECORD set) against the OpenAPI document of the
// service: the path and method must be described (else 404 or 405), the
// status must be one of the operation's, the content type one of the
// status's, and a JSON body must match its schema.
// Usage: node validate-responses.mjs OPENAPI.json RECORDS.jsonl
import { readFileSync } from "node:fs";
import Ajv2020 from "ajv/dist/2020.js";

const [documentPath, recordsPath] = process.argv.slice(2);
const document = JSON.parse(readFileSync(documentPath, "utf8"));
if (!document.openapi?.startsWith("3.1.")) throw new Error("not an OpenAPI 3.1 document");

// The document's schemas under one id, each reference pointed there.
const pointed = JSON.parse(JSON.stringify(document.components.schemas)
  .replaceAll('"#/components/schemas/', '"openapi#/$defs/'));
const ajv = new Ajv2020({ allErrors: true, strict: true, allowUnionTypes: true });
ajv.addSchema({ $id: "openapi", $defs: pointed });
const validators = new Map();
function validatorFor(schema) {
  const key = JSON.stringify(schema);
  if (!validators.has(key)) {
    const adapted = JSON.parse(key.replaceAll('"#/components/schemas/', '"openapi#/$defs/'));
    validators.set(key, ajv.compile(adapted));
  }
  return validators.get(key);
}

const problemSchema = { $ref: "#/components/schemas/Problem" };

// The path item of a templated path ("/katex/{file}") that `path` fits.
function templated(path) {
  for (const [pattern, item] of Object.entries(document.paths)) {
    if (!pattern.includes("{")) continue;
    const parts = pattern.split(/\{[^}]+\}/).map((p) => p.replace(/[.*+?^$()|[\]\\]/g, "\\$&"));
    if (new RegExp(`^${parts.join("[^/]+")}$`).test(path)) return item;
  }
  return undefined;
}
const failures = [];
const seen = new Set();
const lines = readFileSync(recordsPath, "utf8").split("\n").filter((line) => line !== "");
for (const line of lines) {
  const r = JSON.parse(line);
  const path = r.path.split("?")[0];
  const method = r.method.toLowerCase();
  const where = `${r.method} ${path} ${r.status}`;
  const item = document.paths[path] ?? templated(path);
  let response;
  if (!item) {
    if (r.status !== 404) failures.push(`${where}: a path the document does not describe must be 404`);
    response = { content: { "application/problem+json": { schema: problemSchema } } };
  } else if (!item[method === "head" ? "get" : method]) {
    if (r.status !== 405) failures.push(`${where}: a method the document does not describe must be 405`);
    response = { content: { "application/problem+json": { schema: problemSchema } } };
  } else {
    response = item[method === "head" ? "get" : method].responses[String(r.status)];
    if (!response) {
      failures.push(`${where}: status not described`);
      continue;
    }
    // A shared answer, under components/responses.
    if (response.$ref) response = document.components.responses[response.$ref.split("/").pop()];
  }
  seen.add(`${r.method} ${item ? path : "(other)"} ${r.status}`);
  const mediaType = r.content_type.split(";")[0].trim();
  if (!response.content) {
    if (r.body !== "") failures.push(`${where}: a body where the document has none`);
    continue;
  }
  const media = response.content[mediaType];
  if (!media) {
    failures.push(`${where}: content type '${r.content_type}' not described`);
    continue;
  }
  if (method === "head" || !mediaType.endsWith("json")) continue;
  let body;
  try {
    body = JSON.parse(r.body);
  } catch (error) {
    failures.push(`${where}: the body is not JSON: ${error.message}`);
    continue;
  }
  const validate = validatorFor(media.schema);
  if (!validate(body)) {
    failures.push(`${where}: ${ajv.errorsText(validate.errors)}\n  ${r.body.slice(0, 300)}`);
  }
}

console.log(`${lines.length} answers checked (${seen.size} kinds: method, path, status)`);
for (const kind of [...seen].sort()) console.log("  " + kind);
if (lines.length === 0) failures.push("no answers were recorded");
for (const f of failures) console.error("FAIL " + f);
process.exit(failures.length === 0 ? 0 : 1);
