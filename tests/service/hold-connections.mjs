// Holds connections open to a server on loopback: IDLE that send nothing,
// and SLOW that send a request's header one byte a second (opening a new
// one when the server closes one). Runs for SECONDS, then closes them all.
// Usage: node hold-connections.mjs PORT IDLE SLOW SECONDS
import net from "node:net";

const [port, idle, slow, seconds] = process.argv.slice(2).map(Number);
const sockets = new Set();
let stopping = false;
let opened = 0;
const header = "POST /v1/solve HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n" +
  "X-Padding: " + "x".repeat(4000) + "\r\n\r\n";

function open(onConnect) {
  const socket = net.connect(port, "127.0.0.1", () => { ++opened; onConnect?.(socket); });
  socket.on("error", () => {});
  socket.on("data", () => {});
  sockets.add(socket);
  socket.on("close", () => sockets.delete(socket));
  return socket;
}
function openSlow() {
  let sent = 0;
  const socket = open();
  const timer = setInterval(() => {
    if (socket.destroyed || sent >= header.length) return;
    socket.write(header[sent++]);
  }, 1000);
  socket.on("close", () => {
    clearInterval(timer);
    if (!stopping) setTimeout(openSlow, 100);
  });
}
for (let i = 0; i < idle; ++i) open();
for (let i = 0; i < slow; ++i) openSlow();
setTimeout(() => {
  stopping = true;
  console.error(`held ${idle} idle and ${slow} slow connections (${opened} opened in all)`);
  for (const socket of sockets) socket.destroy();
  process.exit(0);
}, seconds * 1000);
