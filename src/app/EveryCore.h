#pragma once

#include <cstddef>
#include <functional>

namespace pelmar {

// The processors this process may run on (its affinity mask: a run pinned
// with taskset counts what it was given, not the machine's); at least 1.
std::size_t UsableCores();

// Runs body(i) for every i < tasks on every core (at most 8 threads), in
// turns; only the calling thread asks `cancelled` (may be empty), and after
// a yes no further task starts. False when cancelled. `body` must not throw.
bool OnEveryCore(std::size_t tasks, const std::function<void(std::size_t)>& body,
                 const std::function<bool()>& cancelled = {});

}  // namespace pelmar
