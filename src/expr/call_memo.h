// call_memo: what calls of a user function expanded in place came to, kept
// for the next call with the same arguments.
//
// A call is kept only when nothing it did depended on anything but its
// arguments: it read no name, drew no random number, called no function
// through the text and left nothing to the rewriting. Such a call, made
// again with the same arguments in the same algorithm, takes exactly the
// same steps, so its result, the work it counts and how deeply it nests
// are kept with it and replayed; a replay that would run past a limit is
// not taken, and the call is made, raising what it raises.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "value/alg_value.h"
#include "value/call_args.h"

// The bytes the memories of all algorithms hold together (in the engine's
// state, api/engine_state.h).
std::atomic<size_t>& kept_call_bytes() noexcept;

class call_memo {
 public:
  static constexpr uint32_t max_arguments = 4;
  // Texts (arguments and results) longer than this are not kept.
  static constexpr uint32_t max_text = 64;

  struct outcome {
    alg_value value;  // the result: its value, what its literal reads back as, its length
    alg_value read;
    uint32_t length = 0;
    uint64_t work = 0;       // counted towards the work limit
    int32_t reductions = 0;  // deepest nesting of evaluations, above the call's own level
    int64_t expansions = 0;  // user-function expansions made inside
  };

  // Whether a call of `function` at `depth` with args[1..count] is kept;
  // `found` then holds what it came to.
  bool find(uint64_t function, int depth, const call_args& args, uint32_t count, outcome& found);
  // Keeps what the call came to (when its texts are short enough, and the
  // memories of all algorithms together stay within their bound).
  void keep(uint64_t function, int depth, const call_args& args, uint32_t count,
            const outcome& made);

  call_memo() = default;
  call_memo(const call_memo&) = delete;
  call_memo& operator=(const call_memo&) = delete;
  ~call_memo();

 private:
  struct entry {
    uint64_t function = 0;  // the template's serial; 0: empty
    int depth = 0;
    uint32_t count = 0;
    std::array<alg_value, max_arguments> args;
    outcome kept;
  };
  static constexpr size_t kEntries = 128;
  static size_t slot(uint64_t function, int depth, const call_args& args, uint32_t count);
  // What one memory may hold at most: its table and the texts in it.
  static constexpr size_t kBytes = sizeof(std::array<entry, kEntries>) + kEntries * 7 * max_text;
  std::mutex guard_;
  std::unique_ptr<std::array<entry, kEntries>> entries_;  // made at the first keep
};
