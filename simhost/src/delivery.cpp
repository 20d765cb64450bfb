#include "delivery.h"

namespace Tavo::SimHost {

Delivery::Delivery(HostOptions::Delivery mode) : queued_(mode == HostOptions::Delivery::Worker) {
  if (queued_) worker_ = std::thread([this] { Work(); });
}

Delivery::~Delivery() { Stop(); }

void Delivery::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  if (worker_.joinable()) worker_.join();
}

void Delivery::Post(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!stopping_) {
      tasks_.push_back(std::move(task));
      wake_.notify_one();
      return;
    }
  }
  task();
}

void Delivery::Work() {
  for (;;) {
    std::function<void()> task;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
      // Stopping still runs what was queued before.
      if (tasks_.empty()) return;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
  }
}

}  // namespace Tavo::SimHost
