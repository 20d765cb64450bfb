// Runs work on a thread whose stack is small, so that a walk that recursed on the call stack
// would overflow it instead of passing.
#pragma once

#include <pthread.h>

#include <cstddef>
#include <functional>

namespace TestSupport {

// Runs `work` on a new thread with a stack of `stackBytes` and waits for it to end. False when
// no such thread could be started (and `work` did not run).
inline bool RunOnSmallStack(std::size_t stackBytes, const std::function<void()>& work) {
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) return false;
  auto run = [](void* argument) -> void* {
    (*static_cast<const std::function<void()>*>(argument))();
    return nullptr;
  };
  pthread_t thread;
  const bool started =
      pthread_attr_setstacksize(&attributes, stackBytes) == 0 &&
      pthread_create(&thread, &attributes, run, const_cast<std::function<void()>*>(&work)) == 0;
  pthread_attr_destroy(&attributes);
  return started && pthread_join(thread, nullptr) == 0;
}

}  // namespace TestSupport
