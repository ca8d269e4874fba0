// Two instances of `zekalg serve` behind Debian's haproxy, configured as
// deploy/haproxy.cfg: a steady stream of solves goes through haproxy while
// one instance is stopped with SIGTERM and started again. No request may
// fail, each seed must get the same text every time, and both instances
// must give the same text for the same seed. Loopback only; bounded in
// requests and time.
// Usage: node failover.mjs ZEKALG [HAPROXY_CFG]
import { spawn } from "node:child_process";
import { readFileSync, writeFileSync, mkdtempSync, rmSync } from "node:fs";
import http from "node:http";
import net from "node:net";
import os from "node:os";
import path from "node:path";

const zekalg = process.argv[2];
const configPath = process.argv[3] ?? new URL("../../deploy/haproxy.cfg", import.meta.url).pathname;
const REQUESTS = 900;
const CLIENTS = 4;
const STOP_AT = 250;     // requests done when instance 1 gets SIGTERM
const RESTART_AT = 500;  // requests done when it starts again
const ALGORITHM = "r_a|1|99\nr_b|1|99\nc_ok|a<>b\nq_sum|a+b|0\nq_q|a/b|3\nq_t|\"(\" & str(a,0) & \"; \" & str(b,0) & \")\"|0";

const deadline = setTimeout(() => fail("took longer than 120 s"), 120_000);
const children = new Set();
const work = mkdtempSync(path.join(os.tmpdir(), "zekalg-failover-"));

function fail(message) {
  console.error("FAIL " + message);
  cleanup();
  process.exit(1);
}
function cleanup() {
  clearTimeout(deadline);
  for (const child of children) child.kill("SIGKILL");
  rmSync(work, { recursive: true, force: true });
}

function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.once("error", reject);
    server.listen(0, "127.0.0.1", () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

const instances = [];
function startInstance(i, port) {
  return new Promise((resolve, reject) => {
    const child = spawn(zekalg, ["serve", "--listen", `127.0.0.1:${port}`, "--threads", "2"],
      { stdio: ["ignore", "ignore", "pipe"] });
    children.add(child);
    const instance = { child, port, log: "", exited: null };
    instances[i] = instance;
    child.stderr.setEncoding("utf8");
    child.stderr.on("data", (text) => {
      instance.log += text;
      if (instance.log.includes("listening on")) resolve(instance);
    });
    child.on("exit", (code, signal) => {
      children.delete(child);
      instance.exited = { code, signal };
      reject(new Error(`instance ${i + 1} ended before it listened: ${instance.log}`));
    });
  });
}

const agent = new http.Agent({ keepAlive: true, maxSockets: CLIENTS });
function request(port, method, target, body) {
  return new Promise((resolve, reject) => {
    const req = http.request({ host: "127.0.0.1", port, method, path: target, agent, timeout: 10_000,
      headers: body ? { "Content-Type": "application/json" } : {} }, (res) => {
      let text = "";
      res.setEncoding("utf8");
      res.on("data", (chunk) => { text += chunk; });
      res.on("end", () => resolve({ status: res.statusCode, text }));
    });
    req.on("timeout", () => req.destroy(new Error("no answer within 10 s")));
    req.on("error", reject);
    req.end(body);
  });
}
const solve = (port, seed) =>
  request(port, "POST", "/v1/solve", JSON.stringify({ algorithm: ALGORITHM, seed }));

async function until(what, check) {
  for (let i = 0; i < 200; ++i) {
    if (await check().catch(() => false)) return;
    await new Promise((r) => setTimeout(r, 50));
  }
  fail("gave up waiting for " + what);
}

const ports = [await freePort(), await freePort()];
const front = await freePort();
await startInstance(0, ports[0]);
await startInstance(1, ports[1]);

// The tree's configuration with these ports, run in the foreground without
// Debian's global section (syslog, chroot, user, daemon).
const config = readFileSync(configPath, "utf8")
  .replace(/^global\n(?:.+\n)*\n/m, "global\n    maxconn 4096\n\n")
  .replace("bind 127.0.0.1:8080", `bind 127.0.0.1:${front}`)
  .replace("127.0.0.1:8081", `127.0.0.1:${ports[0]}`)
  .replace("127.0.0.1:8082", `127.0.0.1:${ports[1]}`);
writeFileSync(path.join(work, "haproxy.cfg"), config);
const haproxy = spawn("haproxy", ["-db", "-f", path.join(work, "haproxy.cfg")],
  { stdio: ["ignore", "ignore", "pipe"] });
children.add(haproxy);
let haproxyLog = "";
haproxy.stderr.on("data", (text) => { haproxyLog += text; });
haproxy.on("exit", (code) => { children.delete(haproxy); if (code !== null) fail(`haproxy ended (${code}): ${haproxyLog}`); });
await until("haproxy", async () => (await request(front, "GET", "/v1/health")).status === 200);

const texts = new Map();  // seed -> results
let done = 0;
let failures = 0;
let stopped = null;
let restarted = null;
async function client(c) {
  for (let n = c; n < REQUESTS; n += CLIENTS) {
    const seed = 1 + (n % 40);
    let answer;
    try {
      answer = await solve(front, seed);
    } catch (error) {
      answer = { status: 0, text: error.message };
    }
    if (answer.status !== 200) {
      ++failures;
      console.error(`request ${n} (seed ${seed}): ${answer.status} ${answer.text.slice(0, 200)}`);
    } else {
      const results = JSON.stringify(JSON.parse(answer.text).results);
      if (!texts.has(seed)) texts.set(seed, results);
      if (texts.get(seed) !== results) {
        ++failures;
        console.error(`seed ${seed}: ${results} after ${texts.get(seed)}`);
      }
    }
    ++done;
    if (done === STOP_AT && !stopped) {
      stopped = new Promise((resolve) => instances[0].child.once("exit", (code, signal) => resolve({ code, signal })));
      instances[0].child.kill("SIGTERM");
    }
    if (done === RESTART_AT && !restarted) {
      restarted = (async () => {
        const end = await stopped;
        if (end.code !== 0) fail(`instance 1 ended with ${JSON.stringify(end)} after SIGTERM`);
        const before = instances[0].log;
        await startInstance(0, ports[0]);
        instances[0].before = before;
      })();
    }
    // A steady stream, not a flood.
    await new Promise((r) => setTimeout(r, 2));
  }
}
await Promise.all(Array.from({ length: CLIENTS }, (_, c) => client(c)));
await restarted;

// Both instances, asked directly, give every seed's text.
for (const [seed, results] of texts) {
  for (const [i, instance] of instances.entries()) {
    const answer = await solve(instance.port, seed);
    if (answer.status !== 200 || JSON.stringify(JSON.parse(answer.text).results) !== results) {
      ++failures;
      console.error(`instance ${i + 1}, seed ${seed}: ${answer.status} ${answer.text.slice(0, 200)}`);
    }
  }
}
const served = (log) => (log.match(/"path":"\/v1\/solve"/g) ?? []).length;
const first = served(instances[0].before ?? "");
const again = served(instances[0].log);
const second = served(instances[1].log);
console.log(`${done} solves through haproxy, ${failures} failed; instance 1 served ${first} before ` +
  `SIGTERM and ${again} after its restart, instance 2 ${second} (with the direct checks)`);
if (first === 0 || again === 0 || second === 0) ++failures;
agent.destroy();
cleanup();
process.exit(failures === 0 ? 0 : 1);
