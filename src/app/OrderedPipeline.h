#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "app/BoundedQueue.h"

namespace pelmar {

// Items numbered 0, 1, 2, … put in any order and taken in number order. put
// waits while its item lies `window` or more beyond the next to be taken (so
// that fast workers cannot run away from a slow one), take while the next is
// missing; after close() take gives what is there up to the first gap and
// then nothing, and put is refused.
template <class T>
class OrderedQueue {
 public:
  explicit OrderedQueue(std::uint64_t window) : window_(window) {}

  bool put(std::uint64_t number, T item) {
    std::unique_lock lock(mutex_);
    room_.wait(lock, [&] { return closed_ || number < next_ + window_; });
    if (closed_) return false;
    items_.emplace(number, std::move(item));
    if (number == next_) ready_.notify_one();
    return true;
  }

  std::optional<T> take() {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [&] { return closed_ || items_.count(next_) != 0; });
    const auto it = items_.find(next_);
    if (it == items_.end()) return std::nullopt;
    T item = std::move(it->second);
    items_.erase(it);
    ++next_;
    room_.notify_all();
    return item;
  }

  void close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    ready_.notify_all();
    room_.notify_all();
  }

 private:
  std::uint64_t window_;
  std::uint64_t next_ = 0;
  std::map<std::uint64_t, T> items_;
  bool closed_ = false;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::condition_variable room_;
};

// How the stages of a pipeline ended.
struct PipelineEnd {
  bool readFailed = false;  // the reading stage threw
  bool failed = false;      // a worker or the delivering stage threw
  bool stopped = false;     // `deliver` ended the run
};

// Runs a batch job in three stages: a reader thread fills batches with
// `read(batch)` (false: nothing more), `workers` threads compute them, each
// with the function `makeCompute()` gave it on its own thread (so that what
// the function holds, a library binding, belongs to that thread), and the
// calling thread takes them in the order they were read with
// `deliver(batch)` (false: stop). Only the calling thread delivers, so a
// job's host is told everything from one thread and in line order. The
// queues bound the batches in flight whatever the length of the input.
// `Batch` has a member `std::uint64_t sequence`, set here.
template <class Batch, class Read, class MakeCompute, class Deliver>
PipelineEnd RunOrderedPipeline(int workers, Read&& read, MakeCompute&& makeCompute, Deliver&& deliver) {
  const std::size_t count = static_cast<std::size_t>(workers < 1 ? 1 : workers);
  BoundedQueue<Batch> toCompute(count + 1);
  OrderedQueue<Batch> computed(2 * count + 2);
  std::atomic<bool> readFailed = false, failed = false;
  // A stage that throws ends the run: the batch it held would leave a gap
  // that the delivering stage would wait for.
  auto stopAll = [&] {
    toCompute.close();
    computed.close();
  };
  std::thread reader([&] {
    try {
      for (std::uint64_t sequence = 0;; ++sequence) {
        Batch batch;
        if (!read(batch)) break;
        batch.sequence = sequence;
        if (!toCompute.push(std::move(batch))) break;
      }
    } catch (...) {
      readFailed = true;
      stopAll();
    }
    toCompute.close();
  });
  std::atomic<std::size_t> running = count;
  std::vector<std::thread> pool;
  pool.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    pool.emplace_back([&] {
      try {
        auto compute = makeCompute();
        while (std::optional<Batch> batch = toCompute.pop()) {
          compute(*batch);
          const std::uint64_t sequence = batch->sequence;
          if (!computed.put(sequence, std::move(*batch))) break;
        }
      } catch (...) {
        failed = true;
        stopAll();
      }
      if (--running == 0) computed.close();
    });
  }
  PipelineEnd end;
  try {
    while (std::optional<Batch> batch = computed.take()) {
      if (!deliver(*batch)) {
        end.stopped = true;
        break;
      }
    }
  } catch (...) {
    failed = true;
  }
  stopAll();
  reader.join();
  for (std::thread& worker : pool) worker.join();
  end.readFailed = readFailed;
  end.failed = failed;
  return end;
}

}  // namespace pelmar
