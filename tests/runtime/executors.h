// Threads owned by the runtime tests, on which providers and implementations answer later.
#pragma once

#include <algorithm>
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

// Keeps the tasks it is given until the test runs them, on a thread of the test's choosing.
class QueueExecutor {
 public:
  Provider::LocalApiProvider::Executor Executor() {
    return [this](std::function<void()> task) {
      std::lock_guard<std::mutex> lock(mutex_);
      tasks_.push_back(std::move(task));
    };
  }
  std::size_t Pending() {
    std::lock_guard<std::mutex> lock(mutex_);
    return tasks_.size();
  }
  // Starts `thread`, which runs every pending task, also those posted meanwhile, and ends.
  void RunAllOn(std::thread& thread) {
    thread = std::thread([this] {
      for (;;) {
        std::function<void()> task;
        {
          std::lock_guard<std::mutex> lock(mutex_);
          if (tasks_.empty()) return;
          task = std::move(tasks_.front());
          tasks_.pop_front();
        }
        task();
      }
    });
  }

 private:
  std::mutex mutex_;
  std::deque<std::function<void()>> tasks_;
};

// A few threads that run posted tasks in posting order as soon as one is free. `Post` waits while
// `capacity` tasks are queued, so that a fast caller cannot pile up unbounded work; tasks must
// therefore not post to their own pool. Finishing (or destruction) runs what is queued and joins.
class WorkerPool {
 public:
  explicit WorkerPool(std::size_t threads, std::size_t capacity = 1024) : capacity_(capacity) {
    for (std::size_t i = 0; i < threads; ++i) {
      threads_.emplace_back([this] { Work(); });
      ids_.push_back(threads_.back().get_id());
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

  bool RunsOn(std::thread::id thread) const {
    return std::find(ids_.begin(), ids_.end(), thread) != ids_.end();
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
  std::vector<std::thread::id> ids_;
  std::vector<std::thread> threads_;  // last: started once everything else exists
};

}  // namespace Quil::ProviderTesting
