// A plain static file server on a free loopback port, as any web server
// would serve a folder: no zekalg process behind it.
import { createServer } from "node:http";
import { readFile } from "node:fs/promises";
import path from "node:path";

const TYPES = {
  ".html": "text/html; charset=utf-8",
  ".js": "text/javascript; charset=utf-8",
  ".mjs": "text/javascript; charset=utf-8",
  ".css": "text/css; charset=utf-8",
  ".json": "application/json",
  ".wasm": "application/wasm",
  ".woff2": "font/woff2",
};

/** Serves `folders` (URL prefix -> folder) and `pages` (path -> HTML);
 * resolves to {origin, close()}. */
export async function serveStatic(folders, pages = {}) {
  const server = createServer(async (request, response) => {
    const url = new URL(request.url, "http://localhost");
    let pathname = decodeURIComponent(url.pathname);
    if (Object.hasOwn(pages, pathname)) {
      response.writeHead(200, { "content-type": TYPES[".html"] });
      response.end(pages[pathname]);
      return;
    }
    if (pathname.endsWith("/")) pathname += "index.html";
    for (const [prefix, folder] of Object.entries(folders)) {
      if (!pathname.startsWith(prefix)) continue;
      const file = path.join(folder, pathname.slice(prefix.length));
      if (!file.startsWith(folder)) break;
      try {
        const body = await readFile(file);
        response.writeHead(200, {
          "content-type": TYPES[path.extname(file)] || "application/octet-stream",
        });
        response.end(request.method === "HEAD" ? undefined : body);
        return;
      } catch {
        break;
      }
    }
    response.writeHead(404, { "content-type": "text/plain" });
    response.end("not found");
  });
  await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
  return {
    origin: `http://127.0.0.1:${server.address().port}`,
    close: () => new Promise((resolve) => server.close(resolve)),
  };
}
