#pragma once

#include <cstddef>
#include <functional>

namespace pelmar {

// Runs body(i) for every i < tasks on every core (at most 8 threads), in
// turns; only the calling thread asks `cancelled` (may be empty), and after
// a yes no further task starts. False when cancelled. `body` must not throw.
bool OnEveryCore(std::size_t tasks, const std::function<void(std::size_t)>& body,
                 const std::function<bool()>& cancelled = {});

}  // namespace pelmar
