#include "threads/worker_pool.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace worker_pool_detail {

// A thread that runs one piece of work at a time and waits between them.
class Worker {
 public:
  Worker() : thread_([this] { Loop(); }) {}
  ~Worker() {
    {
      const std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  void Give(std::function<void()> work) {
    {
      const std::lock_guard lock(mutex_);
      work_ = std::move(work);
      busy_ = true;
    }
    changed_.notify_all();
  }

  void Wait() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !busy_; });
  }

 private:
  void Loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return busy_ || stopping_; });
      if (!busy_) return;  // stopping, with no work left
      std::function<void()> work = std::move(work_);
      lock.unlock();
      work();  // the work catches what it throws
      work = nullptr;
      lock.lock();
      busy_ = false;
      changed_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::function<void()> work_;
  bool busy_ = false;
  bool stopping_ = false;
  std::thread thread_;  // last: started once the members above exist
};

namespace {

// The kept threads: every one made, and those waiting for work.
class Pool {
 public:
  static Pool& Instance() {
    static Pool pool;
    return pool;
  }

  // A waiting thread, or a new one; nullptr when none can be started.
  Worker* Take() {
    {
      const std::lock_guard lock(mutex_);
      if (!idle_.empty()) {
        Worker* worker = idle_.back();
        idle_.pop_back();
        return worker;
      }
    }
    std::unique_ptr<Worker> worker;
    try {
      worker = std::make_unique<Worker>();
    } catch (const std::system_error&) {
      return nullptr;
    }
    const std::lock_guard lock(mutex_);
    all_.push_back(std::move(worker));
    return all_.back().get();
  }

  void GiveBack(Worker* worker) {
    const std::lock_guard lock(mutex_);
    idle_.push_back(worker);
  }

 private:
  Pool() = default;
  ~Pool() = default;  // joins every thread, each of them waiting for work

  std::mutex mutex_;
  std::vector<Worker*> idle_;
  std::vector<std::unique_ptr<Worker>> all_;
};

}  // namespace

}  // namespace worker_pool_detail

using worker_pool_detail::Pool;

PooledWork::PooledWork(std::function<void()> work) : worker_(Pool::Instance().Take()) {
  if (worker_ != nullptr) worker_->Give(std::move(work));
}

PooledWork::~PooledWork() { Wait(); }

PooledWork::PooledWork(PooledWork&& other) noexcept
    : worker_(std::exchange(other.worker_, nullptr)) {}

void PooledWork::Wait() {
  if (worker_ == nullptr) return;
  worker_->Wait();
  Pool::Instance().GiveBack(std::exchange(worker_, nullptr));
}
