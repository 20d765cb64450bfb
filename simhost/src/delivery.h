// How the host's answers reach their callers: at once on the calling thread, or queued to a worker
// thread the host owns, so that the asynchronous paths of the bindings run for real. The worker
// runs one answer at a time in queue order; an answer whose callback throws ends the process, as
// any exception leaving a thread does.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

#include <boost/optional.hpp>

#include <quil/async_result.h>
#include <quil/data/value.h>
#include <quil/types.h>

#include <tavo/simhost/host.h>

namespace Tavo::SimHost {

// The answer of one call, decided under the inventory's lock and delivered after it: a value, or
// the error value that refuses the call.
template <typename R>
class Answer {
 public:
  static Answer Value(R value) {
    Answer answer;
    answer.value_ = std::move(value);
    return answer;
  }
  static Answer Refused(Quil::Data::ErrorValuePtr error) {
    Answer answer;
    answer.error_ = std::move(error);
    return answer;
  }

  bool refused() const { return error_ != nullptr; }

  void DeliverTo(const Quil::AsyncResult<R>& result) const {
    if (error_ != nullptr) {
      result.error(error_);
    } else {
      result(*value_);
    }
  }

 private:
  Answer() = default;

  boost::optional<R> value_;
  Quil::Data::ErrorValuePtr error_;
};

// The answer of an operation without result: done unless `error` is set.
inline Answer<Quil::Void> Done(Quil::Data::ErrorValuePtr error) {
  return error != nullptr ? Answer<Quil::Void>::Refused(std::move(error))
                          : Answer<Quil::Void>::Value(Quil::Void{});
}

class Delivery {
 public:
  // Worker starts the thread at once.
  explicit Delivery(HostOptions::Delivery mode);
  // Stop().
  ~Delivery();

  Delivery(const Delivery&) = delete;
  Delivery& operator=(const Delivery&) = delete;

  // Runs what is queued, then joins the worker; from then on every answer is delivered on the
  // calling thread. Must not be called from the worker itself.
  void Stop();

  // Delivers `answer` through a copy of `result` (the caller's object is never used afterwards,
  // so the copy is the one that gets spent).
  template <typename R>
  void Send(const Quil::AsyncResult<R>& result, Answer<R> answer) {
    if (!queued_) {
      answer.DeliverTo(result);
      return;
    }
    Post([result, answer = std::move(answer)] { answer.DeliverTo(result); });
  }

 private:
  // Queues `task` for the worker, or runs it here once the worker is stopped.
  void Post(std::function<void()> task);
  void Work();

  const bool queued_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> tasks_;  // guarded by mutex_
  bool stopping_ = false;                    // guarded by mutex_
  std::thread worker_;
};

}  // namespace Tavo::SimHost
