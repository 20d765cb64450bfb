// An append-only sequence whose elements never move: the slots that the adapters fill while a
// value is being built stay valid however many elements are added after them.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

namespace Quil::Data::Detail {

template <typename T>
class StableVector {
 public:
  StableVector() = default;
  StableVector(const StableVector&) = delete;
  StableVector& operator=(const StableVector&) = delete;
  StableVector(StableVector&&) noexcept = default;
  StableVector& operator=(StableVector&&) noexcept = default;

  // Makes room for `count` more elements in one block, so that a value of known size costs one
  // allocation for its storage.
  void Reserve(std::size_t count) {
    if (count > Spare()) blocks_.emplace_back().reserve(count);
  }

  template <typename... Args>
  T& EmplaceBack(Args&&... args) {
    if (Spare() == 0) {
      std::size_t capacity = size_ < 4 ? 4 : size_;  // doubles the total
      blocks_.emplace_back().reserve(capacity);
    }
    ++size_;
    // Moving the outer vector moves the blocks' buffers, not the elements.
    return blocks_.back().emplace_back(std::forward<Args>(args)...);
  }

  std::size_t Size() const { return size_; }
  bool Empty() const { return size_ == 0; }

  T& operator[](std::size_t index) { return const_cast<T&>(std::as_const(*this)[index]); }
  const T& operator[](std::size_t index) const {
    for (const auto& block : blocks_) {
      if (index < block.size()) return block[index];
      index -= block.size();
    }
    return blocks_.back()[index];  // unreachable for a valid index
  }

  template <typename F>
  void ForEach(F&& f) const {
    for (const auto& block : blocks_)
      for (const auto& element : block) f(element);
  }
  template <typename F>
  void ForEach(F&& f) {
    for (auto& block : blocks_)
      for (auto& element : block) f(element);
  }

  // Moves every element out, in order, leaving the sequence empty.
  template <typename F>
  void Drain(F&& f) {
    for (auto& block : blocks_)
      for (auto& element : block) f(std::move(element));
    blocks_.clear();
    size_ = 0;
  }

 private:
  std::size_t Spare() const {
    return blocks_.empty() ? 0 : blocks_.back().capacity() - blocks_.back().size();
  }

  std::vector<std::vector<T>> blocks_;
  std::size_t size_ = 0;
};

}  // namespace Quil::Data::Detail
