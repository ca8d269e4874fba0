// The workbench without a server. Served as static files, the page's POST
// requests to /v1/ are answered in the browser by the zekalg WebAssembly
// module, in a worker (workbench_service.mjs, which answers as the service
// does). Loaded before workbench.js, this wraps fetch, so workbench.js
// stays as it is. `zekalg serve` does not load this file: its page asks the
// service.
//
// <meta name="zekalg-engine" content="..."> says who answers:
//   "module" (also "auto", no setting or an unknown one): the module, and
//     no request reaches a server;
//   "service": the server, at /v1/ on the page's origin (a zekalg service
//     behind the same host), and nothing runs in the browser;
//   "service-first": the server until an answer shows there is no zekalg
//     service there (the request fails, or the answer is not JSON, as a
//     plain file server's 403, 404 or 501 is not), then the module.
"use strict";

(() => {
  const meta = document.querySelector('meta[name="zekalg-engine"]');
  const setting = meta === null ? "module" : meta.content.trim().toLowerCase();
  if (!["module", "auto", "service", "service-first"].includes(setting)) {
    console.warn(`zekalg-engine: unknown setting '${meta.content}'; the module answers`);
  }
  if (setting === "service") return;
  let local = setting !== "service-first";
  const workerUrl = new URL("workbench_service.mjs", document.baseURI);
  const serverFetch = window.fetch.bind(window);
  const pending = new Map();
  let worker = null;
  let sent = 0;

  function startWorker() {
    worker = new Worker(workerUrl, { type: "module" });
    worker.onmessage = ({ data }) => {
      const job = pending.get(data.id);
      if (!job) return;
      pending.delete(data.id);
      job.settled();
      const type = data.status === 200 ? "application/json" : "application/problem+json";
      job.resolve(new Response(JSON.stringify(data.body),
        { status: data.status, headers: { "Content-Type": type } }));
    };
    worker.onerror = (event) => {
      for (const job of pending.values()) {
        job.settled();
        job.reject(new TypeError(`zekalg module: ${event.message}`));
      }
      pending.clear();
      worker = null;
    };
  }

  // The module's answer as a Response; an aborted request rejects as fetch's
  // does (the worker finishes it, and its answer is dropped).
  function answer(path, body, signal) {
    if (worker === null) startWorker();
    return new Promise((resolve, reject) => {
      const id = ++sent;
      const aborted = () => {
        pending.delete(id);
        reject(signal.reason ?? new DOMException("The operation was aborted.", "AbortError"));
      };
      if (signal) {
        if (signal.aborted) return aborted();
        signal.addEventListener("abort", aborted, { once: true });
      }
      const settled = () => signal?.removeEventListener("abort", aborted);
      pending.set(id, { resolve, reject, settled });
      worker.postMessage({ id, path, body: typeof body === "string" ? body : "" });
    });
  }

  // The service answers every POST to /v1/ with JSON, errors included.
  function noService(response) {
    const type = response.headers.get("Content-Type") || "";
    return !/^application\/([a-z0-9.+-]+\+)?json\b/i.test(type.trim());
  }

  window.fetch = async (input, init = {}) => {
    const url = new URL(input instanceof Request ? input.url : String(input), location.href);
    const method = (init.method || (input instanceof Request ? input.method : "GET")).toUpperCase();
    if (url.origin !== location.origin || !url.pathname.startsWith("/v1/") || method !== "POST") {
      return serverFetch(input, init);
    }
    if (!local) {
      try {
        const response = await serverFetch(input, init);
        if (!noService(response)) return response;
      } catch (error) {
        if (error.name === "AbortError") throw error;
      }
      local = true;
    }
    return answer(url.pathname, init.body, init.signal);
  };
})();
