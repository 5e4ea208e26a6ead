// Threads kept for the run: a helper hands its work to a thread that is
// waiting for some instead of starting one, so that the hundreds of batches
// of a large model start no thread each.
#pragma once

#include <functional>

namespace worker_pool_detail {
class Worker;
}  // namespace worker_pool_detail

/// One piece of work running on a kept thread, from its start to its wait.
class PooledWork {
 public:
  /// Runs `work` on a waiting thread, or on a new one when none waits. When
  /// no thread can be started, nothing runs and started() is false.
  explicit PooledWork(std::function<void()> work);
  /// Waits for the work to end, if it was started and not yet waited for.
  ~PooledWork();
  PooledWork(PooledWork&& other) noexcept;
  PooledWork(const PooledWork&) = delete;
  PooledWork& operator=(const PooledWork&) = delete;
  PooledWork& operator=(PooledWork&&) = delete;

  bool started() const { return worker_ != nullptr; }
  /// Waits for the work to end; its thread then waits for other work.
  void Wait();

 private:
  worker_pool_detail::Worker* worker_;
};
