// Threads owned by the runtime tests, on which providers and implementations answer later.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include <quil/provider/api_provider.h>

namespace Quil::ProviderTesting {

// A few threads that run posted tasks in posting order as soon as one is free. `Post` waits while
// `capacity` tasks are queued, so that a fast caller cannot pile up unbounded work; tasks must
// therefore not post to their own pool. Finishing (or destruction) runs what is queued and joins.
class WorkerPool {
 public:
  explicit WorkerPool(std::size_t threads, std::size_t capacity = 1024) : capacity_(capacity) {
    for (std::size_t i = 0; i < threads; ++i) {
      threads_.emplace_back([this] { Work(); });
    }
  }
  ~WorkerPool() { Finish(); }
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  void Post(std::function<void()> task) {
    std::unique_lock<std::mutex> lock(mutex_);
    roomLeft_.wait(lock, [this] { return tasks_.size() < capacity_ || finishing_; });
    if (finishing_) throw std::logic_error("WorkerPool: posted after Finish");
    tasks_.push_back(std::move(task));
    taskQueued_.notify_one();
  }

  Provider::LocalApiProvider::Executor Executor() {
    return [this](std::function<void()> task) { Post(std::move(task)); };
  }

  void Finish() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      finishing_ = true;
    }
    taskQueued_.notify_all();
    roomLeft_.notify_all();
    for (std::thread& worker : threads_) {
      if (worker.joinable()) worker.join();
    }
  }

 private:
  void Work() {
    for (;;) {
      std::function<void()> task;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        taskQueued_.wait(lock, [this] { return !tasks_.empty() || finishing_; });
        if (tasks_.empty()) return;  // finishing, and nothing left
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
      roomLeft_.notify_one();
      task();
    }
  }

  const std::size_t capacity_;
  std::mutex mutex_;
  std::condition_variable taskQueued_;
  std::condition_variable roomLeft_;
  std::deque<std::function<void()>> tasks_;
  bool finishing_ = false;
  std::vector<std::thread> threads_;  // last: started once everything else exists
};

}  // namespace Quil::ProviderTesting
