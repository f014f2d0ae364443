#include "app/EveryCore.h"

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace pelmar {

std::size_t UsableCores() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return static_cast<std::size_t>(CPU_COUNT(&set));
  return std::max(1u, std::thread::hardware_concurrency());
}

bool OnEveryCore(std::size_t tasks, const std::function<void(std::size_t)>& body,
                 const std::function<bool()>& cancelled) {
  const std::size_t cores = std::min<std::size_t>(UsableCores(), 8);
  std::atomic<bool> stop{false};
  std::atomic<std::size_t> next{0};
  auto work = [&](bool asks) {
    for (std::size_t i; !stop && (i = next++) < tasks;) {
      if (asks && cancelled && cancelled()) {
        stop = true;
        break;
      }
      body(i);
    }
  };
  std::vector<std::thread> helpers;
  for (std::size_t c = 1; c < std::min(cores, tasks); ++c) helpers.emplace_back(work, false);
  work(true);
  for (std::thread& helper : helpers) helper.join();
  return !stop;
}

}  // namespace pelmar
