// A copyable function wrapper like std::function that keeps callables of up to `Capacity` bytes
// inside itself. std::function boxes every callable that holds more than a pointer or two, and
// the result callbacks of one invocation (each wrapping the one before) are made, copied and moved
// several times along the way: in place they cost no allocation. Larger or over-aligned callables,
// and those that may throw when moved, go to the heap as they would in std::function.
//
// Copies are independent, each holding its own copy of the callable. Calling an empty wrapper
// raises std::bad_function_call. The call operator is const and may change the callable, as that
// of std::function does.
//
//   Quil::Detail::InlineFunction<void(int), 64> print([prefix](int n) { Print(prefix, n); });
//   print(7);
#pragma once

#include <cstddef>
#include <functional>
#include <new>
#include <type_traits>
#include <utility>

namespace Quil::Detail {

template <typename Signature, std::size_t Capacity>
class InlineFunction;

template <typename R, typename... Args, std::size_t Capacity>
class InlineFunction<R(Args...), Capacity> {
 public:
  InlineFunction() noexcept = default;
  InlineFunction(std::nullptr_t) noexcept {}

  template <typename F, typename Callable = std::decay_t<F>,
            typename = std::enable_if_t<!std::is_same_v<Callable, InlineFunction> &&
                                        std::is_invocable_r_v<R, Callable&, Args...>>>
  InlineFunction(F&& callable) {
    if constexpr (std::is_pointer_v<Callable> || std::is_member_pointer_v<Callable>) {
      if (callable == nullptr) return;
    }
    Holder<Callable>::Create(storage_, std::forward<F>(callable));
    ops_ = &Holder<Callable>::kOps;
  }

  InlineFunction(const InlineFunction& other) {
    if (other.ops_ != nullptr) {
      other.ops_->copy(other.storage_, storage_);
      ops_ = other.ops_;
    }
  }

  InlineFunction(InlineFunction&& other) noexcept { TakeFrom(other); }

  InlineFunction& operator=(const InlineFunction& other) {
    if (this != &other) *this = InlineFunction(other);
    return *this;
  }

  InlineFunction& operator=(InlineFunction&& other) noexcept {
    if (this != &other) {
      Reset();
      TakeFrom(other);
    }
    return *this;
  }

  InlineFunction& operator=(std::nullptr_t) noexcept {
    Reset();
    return *this;
  }

  ~InlineFunction() { Reset(); }

  explicit operator bool() const noexcept { return ops_ != nullptr; }

  R operator()(Args... args) const {
    if (ops_ == nullptr) throw std::bad_function_call();
    return ops_->invoke(storage_, std::forward<Args>(args)...);
  }

  void swap(InlineFunction& other) noexcept {
    InlineFunction held(std::move(other));
    other = std::move(*this);
    *this = std::move(held);
  }

 private:
  struct Ops {
    R (*invoke)(void* storage, Args&&... args);
    void (*copy)(const void* from, void* to);
    void (*move)(void* from, void* to) noexcept;  // leaves `from` destroyed
    void (*destroy)(void* storage) noexcept;
  };

  template <typename F>
  static constexpr bool kInPlace =
      sizeof(F) <= Capacity &&
      alignof(F) <= alignof(void*) && std::is_nothrow_move_constructible_v<F>;

  // In place, the callable itself sits in the storage; otherwise a pointer to it on the heap.
  template <typename F>
  struct Holder {
    template <typename G>
    static void Create(void* storage, G&& callable) {
      if constexpr (kInPlace<F>) {
        ::new (storage) F(std::forward<G>(callable));
      } else {
        ::new (storage) F*(new F(std::forward<G>(callable)));
      }
    }
    static F& Get(void* storage) {
      if constexpr (kInPlace<F>) {
        return *std::launder(static_cast<F*>(storage));
      } else {
        return **std::launder(static_cast<F**>(storage));
      }
    }
    static R Invoke(void* storage, Args&&... args) {
      return std::invoke(Get(storage), std::forward<Args>(args)...);
    }
    static void Copy(const void* from, void* to) {
      Create(to, static_cast<const F&>(Get(const_cast<void*>(from))));
    }
    static void Move(void* from, void* to) noexcept {
      if constexpr (kInPlace<F>) {
        ::new (to) F(std::move(Get(from)));
        Get(from).~F();
      } else {
        ::new (to) F*(*std::launder(static_cast<F**>(from)));
      }
    }
    static void Destroy(void* storage) noexcept {
      if constexpr (kInPlace<F>) {
        Get(storage).~F();
      } else {
        delete &Get(storage);
      }
    }
    static constexpr Ops kOps{&Invoke, &Copy, &Move, &Destroy};
  };

  void TakeFrom(InlineFunction& other) noexcept {
    if (other.ops_ == nullptr) return;
    other.ops_->move(other.storage_, storage_);
    ops_ = std::exchange(other.ops_, nullptr);
  }

  void Reset() noexcept {
    if (ops_ != nullptr) std::exchange(ops_, nullptr)->destroy(storage_);
  }

  alignas(void*) mutable unsigned char storage_[Capacity];
  const Ops* ops_ = nullptr;
};

}  // namespace Quil::Detail
