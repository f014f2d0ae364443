#include "app/EveryCore.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace pelmar {

bool OnEveryCore(std::size_t tasks, const std::function<void(std::size_t)>& body,
                 const std::function<bool()>& cancelled) {
  const std::size_t cores = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
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
