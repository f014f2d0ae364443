#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

namespace pelmar {

// A blocking queue of limited size between the stages of a batch: push
// waits while it is full, pop while it is empty; after close() pop drains
// what is left and then gives nothing, and push is refused.
template <class T>
class BoundedQueue {
 public:
  explicit BoundedQueue(std::size_t capacity) : capacity_(capacity) {}

  bool push(T item) {
    std::unique_lock lock(mutex_);
    notFull_.wait(lock, [&] { return closed_ || items_.size() < capacity_; });
    if (closed_) return false;
    items_.push_back(std::move(item));
    notEmpty_.notify_one();
    return true;
  }

  std::optional<T> pop() {
    std::unique_lock lock(mutex_);
    notEmpty_.wait(lock, [&] { return closed_ || !items_.empty(); });
    if (items_.empty()) return std::nullopt;
    T item = std::move(items_.front());
    items_.pop_front();
    notFull_.notify_one();
    return item;
  }

  void close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    notEmpty_.notify_all();
    notFull_.notify_all();
  }

 private:
  std::size_t capacity_;
  std::deque<T> items_;
  bool closed_ = false;
  std::mutex mutex_;
  std::condition_variable notEmpty_;
  std::condition_variable notFull_;
};

}  // namespace pelmar
