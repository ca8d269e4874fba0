// The environment registry: every live environment of this process under its
// id, and the seeding rule for creation. Ids that name no live environment
// are never errors: kill ignores them, solve answers the empty text, create
// treats such a base id as no base. Every function is safe from any thread.
#pragma once

#include <cstdint>
#include <memory>

#include "base/alg_string.h"

struct alg_environment;

// Builds an environment from `algorithm` (on `base_id` when that names a
// live environment) and returns its new id. Raises whatever building raises;
// a failed build leaves no environment behind, but its id is used up.
int32_t create_environment(int32_t base_id, const alg_string& algorithm);
// Unlists the environment with `id`, if any; it is destroyed when the last
// call using it ends. Always returns 0.
int32_t kill_environment(int32_t id);
// The result text of `request` in environment `id`; the empty text when the
// id names no live environment. `mode` is 0 or 1 (the two solve exports).
alg_string solve_in_environment(int32_t id, const alg_string& request, int32_t mode);
// Keeps `seed` for the calling thread's next create, which takes it whether
// it draws or not, and stops the clock seeding of that thread's later
// creates.
void seed_environment(uint32_t seed);

// The live environment with `id`, or nullptr.
std::shared_ptr<alg_environment> find_environment(int32_t id);
// Number of live environments in this process.
int32_t environment_count();

// At unload: frees the registry's entries. Environments the host never
// killed are deliberately not destroyed (they are left as they are).
void release_registry_entries() noexcept;

// Every export runs between enter_call (false: the library is being
// unloaded, and the call must do nothing) and leave_call.
bool enter_call() noexcept;
void leave_call() noexcept;
// When the library is unloaded (dlclose, or the end of the process): frees
// the registry's entries as above, and the engine's state, unless a call
// is still running. Later calls do nothing.
void release_engine_at_unload() noexcept;
