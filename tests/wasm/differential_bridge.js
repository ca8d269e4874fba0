// The six functions of differential_wasm.c, answered by the zekalg module
// (Module.engine, the instance the test created): texts are copied into the
// module's memory, the call is made there, and the answer is copied back
// by the result text protocol. (Emscripten 3.1.6 reads library functions
// written as `name: function`, not as methods.)
mergeInto(LibraryManager.library, {
  $bridge: {
    // A NUL-terminated text of this program's memory, in the engine's.
    text: function(pointer) {
      const engine = Module.engine;
      if (pointer === 0) return 0;
      const end = HEAPU8.indexOf(0, pointer);
      const copy = engine._malloc(end - pointer + 1);
      engine.HEAPU8.set(HEAPU8.subarray(pointer, end + 1), copy);
      return copy;
    },
    // Calls `call(text, buffer, length)` in the engine with a buffer of the
    // caller's size; copies back what it delivered when `delivered` says so.
    deliver: function(pointer, buffer, length, call, delivered) {
      const engine = Module.engine;
      const size = length ? HEAP32[length >> 2] : 0;
      const text = bridge.text(pointer);
      const theirs = size > 0 ? engine._malloc(size) : 0;
      const theirLength = engine._malloc(4);
      engine.HEAP32[theirLength >> 2] = size;
      const answer = call(text, buffer ? theirs : 0, length ? theirLength : 0);
      if (delivered(answer)) {
        const full = engine.HEAP32[theirLength >> 2];
        if (buffer && size > 0) {
          const copied = Math.min(full, size - 1) + 1;
          HEAPU8.set(engine.HEAPU8.subarray(theirs, theirs + copied), buffer);
        }
        if (length) HEAP32[length >> 2] = full;
      }
      engine._free(theirLength);
      if (theirs) engine._free(theirs);
      if (text) engine._free(text);
      return answer;
    },
  },
  bridge_create_environment__deps: ["$bridge"],
  bridge_create_environment: function(base, algorithm, message, length) {
    return bridge.deliver(algorithm, message, length,
      (a, m, l) => Module.engine._zekalg_create_environment(base, a, m, l), (id) => id <= 0);
  },
  bridge_kill_environment: function(id) {
    return Module.engine._zekalg_kill_environment(id);
  },
  bridge_solve_var__deps: ["$bridge"],
  bridge_solve_var: function(id, expression, result, length) {
    return bridge.deliver(expression, result, length,
      (e, r, l) => Module.engine._zekalg_solve_var(id, e, r, l), () => true);
  },
  bridge_solve_var16__deps: ["$bridge"],
  bridge_solve_var16: function(id, expression, result, length) {
    return bridge.deliver(expression, result, length,
      (e, r, l) => Module.engine._zekalg_solve_var16(id, e, r, l), () => true);
  },
  bridge_seed_environment: function(seed) {
    Module.engine._zekalg_seed_environment(seed);
  },
  bridge_list_capabilities__deps: ["$bridge"],
  bridge_list_capabilities: function(text) {
    const copy = bridge.text(text);
    Module.engine._zekalg_list_capabilities(copy);
    if (copy) Module.engine._free(copy);
  },
});
