// Small value types shared by every layer: the empty result, progress, optional structure
// pointers and untyped native pointers.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>

#include <quil/export.h>

namespace Quil {

// These types are visible from every library, so that template instances over them (the
// adapters' instances for Void, for example) are exported whatever the compiler.

// The result of an operation that answers without a value.
struct QUIL_VISIBLE Void {
  friend bool operator==(Void, Void) { return true; }
  friend bool operator!=(Void, Void) { return false; }
};

// Progress of an operation. A progress whose `total` equals `done` is complete; every final
// delivery made by the bindings carries (0, 1, 1).
struct QUIL_VISIBLE Progress {
  std::int64_t phase = 0;
  std::int64_t total = 0;
  std::int64_t done = 0;

  bool IsComplete() const { return total == done; }
  friend bool operator==(const Progress& a, const Progress& b) {
    return a.phase == b.phase && a.total == b.total && a.done == b.done;
  }
  friend bool operator!=(const Progress& a, const Progress& b) { return !(a == b); }
};

// The progress value of every final delivery.
inline constexpr Progress kFinalProgress{0, 1, 1};

// A shared pointer that may be null: an optional structure parameter, absent when null. A type
// of its own, so that an optional structure is told apart from a required one by its type.
template <typename T>
class OptionalPtr : public std::shared_ptr<T> {
 public:
  using std::shared_ptr<T>::shared_ptr;
  OptionalPtr() = default;
  OptionalPtr(std::shared_ptr<T> pointer) : std::shared_ptr<T>(std::move(pointer)) {}  // NOLINT
};

template <typename T, typename... Args>
OptionalPtr<T> MakeOptionalPtr(Args&&... args) {
  return OptionalPtr<T>(std::make_shared<T>(std::forward<Args>(args)...));
}

// Untyped pointers to native objects; the function that receives one knows the real type.
using NativeConstPtr = const void*;
using NativePtr = void*;

// Tag type whose TypeInfo names every method input record.
struct QUIL_VISIBLE OperationInput {};

}  // namespace Quil
