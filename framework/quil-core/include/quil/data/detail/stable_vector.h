// An append-only sequence whose elements never move: the slots that the adapters fill while a
// value is being built stay valid however many elements are added after them.
//
// Elements live in blocks that are never reallocated. The first block is held directly, so a
// sequence whose size is reserved up front costs one allocation; later blocks double the total.
#pragma once

#include <cstddef>
#include <iterator>
#include <memory>
#include <utility>
#include <vector>

namespace Quil::Data::Detail {

// Serves one request that fits from a buffer its user allocated together with something else
// (a structure value and room for its fields), and every other request from the heap.
template <typename T>
class PresetAllocator {
 public:
  using value_type = T;

  PresetAllocator() = default;
  PresetAllocator(T* preset, std::size_t capacity) : preset_(preset), capacity_(capacity) {}
  template <typename U>
  explicit PresetAllocator(const PresetAllocator<U>& /*other*/) {}

  T* allocate(std::size_t count) {
    if (preset_ != nullptr && !presetInUse_ && count <= capacity_) {
      presetInUse_ = true;
      return preset_;
    }
    return std::allocator<T>().allocate(count);
  }
  void deallocate(T* block, std::size_t count) {
    if (block == preset_) {
      presetInUse_ = false;
    } else {
      std::allocator<T>().deallocate(block, count);
    }
  }

  friend bool operator==(const PresetAllocator& a, const PresetAllocator& b) {
    return a.preset_ == b.preset_;
  }
  friend bool operator!=(const PresetAllocator& a, const PresetAllocator& b) { return !(a == b); }

 private:
  T* preset_ = nullptr;
  std::size_t capacity_ = 0;
  bool presetInUse_ = false;
};

template <typename T, typename Allocator = std::allocator<T>>
class StableVector {
  using Block = std::vector<T, Allocator>;
  template <typename Element, typename Owner>
  class Iterator;

 public:
  using iterator = Iterator<T, StableVector>;
  using const_iterator = Iterator<const T, const StableVector>;

  StableVector() = default;
  // The first block comes from `allocator`, later ones from a default-made allocator.
  explicit StableVector(const Allocator& allocator) : head_(allocator) {}
  StableVector(const StableVector&) = delete;
  StableVector& operator=(const StableVector&) = delete;
  StableVector(StableVector&&) noexcept = default;
  StableVector& operator=(StableVector&&) noexcept = default;

  // Makes room for `count` more elements in one block.
  void Reserve(std::size_t count) {
    if (count <= Spare()) return;
    if (head_.capacity() == 0) {
      head_.reserve(count);
    } else {
      tail_.emplace_back().reserve(count);
    }
  }

  template <typename... Args>
  T& EmplaceBack(Args&&... args) {
    if (Spare() == 0) Reserve(size_ < kFirstBlock ? kFirstBlock : size_);
    ++size_;
    // Growing `tail_` moves the blocks' buffers, never the elements in them.
    Block& block = tail_.empty() ? head_ : tail_.back();
    return block.emplace_back(std::forward<Args>(args)...);
  }

  std::size_t Size() const { return size_; }
  bool Empty() const { return size_ == 0; }

  // Constant time in the first block, logarithmic beyond it.
  T& operator[](std::size_t index) { return const_cast<T&>(std::as_const(*this)[index]); }
  const T& operator[](std::size_t index) const {
    if (index < head_.size()) return head_[index];
    index -= head_.size();
    for (const auto& block : tail_) {
      if (index < block.size()) return block[index];
      index -= block.size();
    }
    return tail_.back()[index];  // unreachable for a valid index
  }

  iterator begin() { return iterator(this, 0); }
  iterator end() { return iterator(this, tail_.size() + 1); }
  const_iterator begin() const { return const_iterator(this, 0); }
  const_iterator end() const { return const_iterator(this, tail_.size() + 1); }

  template <typename F>
  void ForEach(F&& f) const {
    for (const auto& element : head_) f(element);
    for (const auto& block : tail_)
      for (const auto& element : block) f(element);
  }
  template <typename F>
  void ForEach(F&& f) {
    for (auto& element : head_) f(element);
    for (auto& block : tail_)
      for (auto& element : block) f(element);
  }

  // The first element, in order, for which `predicate` holds, or null. Cheaper than a search
  // through the iterators, which find their block anew at every step.
  template <typename Predicate>
  const T* FindIf(Predicate&& predicate) const {
    for (const auto& element : head_) {
      if (predicate(element)) return &element;
    }
    for (const auto& block : tail_) {
      for (const auto& element : block) {
        if (predicate(element)) return &element;
      }
    }
    return nullptr;
  }

  // Reads the elements in order, one pointer step each, where the iterators look their block up
  // at every step. The reader counts: `Next` may be called `Size()` times.
  class Cursor {
   public:
    Cursor() = default;
    explicit Cursor(const StableVector& owner)
        : at_(owner.head_.data()), end_(at_ + owner.head_.size()), nextBlock_(owner.tail_.data()) {}

    const T& Next() {
      while (at_ == end_) {
        at_ = nextBlock_->data();
        end_ = at_ + nextBlock_->size();
        ++nextBlock_;
      }
      return *at_++;
    }

   private:
    const T* at_ = nullptr;
    const T* end_ = nullptr;
    const Block* nextBlock_ = nullptr;
  };

  // Moves every element out, in order, leaving the sequence empty.
  template <typename F>
  void Drain(F&& f) {
    ForEach([&f](T& element) { f(std::move(element)); });
    head_.clear();
    head_.shrink_to_fit();
    tail_.clear();
    size_ = 0;
  }

 private:
  static constexpr std::size_t kFirstBlock = 4;

  std::size_t Spare() const {
    const Block& last = tail_.empty() ? head_ : tail_.back();
    return last.capacity() - last.size();
  }
  // Block 0 is `head_`, block n is `tail_[n - 1]`.
  Block* BlockAt(std::size_t number) { return number == 0 ? &head_ : &tail_[number - 1]; }
  const Block* BlockAt(std::size_t number) const {
    return number == 0 ? &head_ : &tail_[number - 1];
  }
  std::size_t BlockCount() const { return tail_.size() + 1; }

  // A forward iterator: (block number, position in the block); the end is (BlockCount(), 0).
  template <typename Element, typename Owner>
  class Iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = T;
    using difference_type = std::ptrdiff_t;
    using pointer = Element*;
    using reference = Element&;

    Iterator() = default;
    Iterator(Owner* owner, std::size_t block) : owner_(owner), block_(block) { SkipEmpty(); }

    reference operator*() const { return (*owner_->BlockAt(block_))[position_]; }
    pointer operator->() const { return &**this; }
    Iterator& operator++() {
      ++position_;
      SkipEmpty();
      return *this;
    }
    Iterator operator++(int) {
      Iterator previous = *this;
      ++*this;
      return previous;
    }
    friend bool operator==(const Iterator& a, const Iterator& b) {
      return a.block_ == b.block_ && a.position_ == b.position_;
    }
    friend bool operator!=(const Iterator& a, const Iterator& b) { return !(a == b); }

   private:
    void SkipEmpty() {
      while (block_ < owner_->BlockCount() && position_ == owner_->BlockAt(block_)->size()) {
        ++block_;
        position_ = 0;
      }
    }

    Owner* owner_ = nullptr;
    std::size_t block_ = 0;
    std::size_t position_ = 0;
  };

  Block head_;
  std::vector<Block> tail_;
  std::size_t size_ = 0;
};

}  // namespace Quil::Data::Detail
