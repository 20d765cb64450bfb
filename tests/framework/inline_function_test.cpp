#include <quil/detail/inline_function.h>

#include <array>
#include <functional>
#include <memory>

#include <gtest/gtest.h>

namespace Quil::Detail {
namespace {

using Counter = InlineFunction<int(), 32>;

// A callable that counts its own calls and holds `watched` alive; `Padding` makes it fit in
// place or not.
template <std::size_t Padding>
struct Counting {
  std::shared_ptr<int> watched;
  int calls = 0;
  std::array<char, Padding> padding{};
  int operator()() { return ++calls; }
};

template <typename Callable>
void CheckCopiesMovesAndRelease() {
  auto watched = std::make_shared<int>(0);
  const std::weak_ptr<int> watch = watched;
  {
    Counter original(Callable{std::move(watched)});
    EXPECT_EQ(original(), 1);
    Counter copy(original);
    EXPECT_EQ(copy(), 2) << "a copy holds the callable as it was";
    EXPECT_EQ(original(), 2) << "copies are independent";
    Counter moved(std::move(original));
    EXPECT_FALSE(original);  // moving empties
    EXPECT_EQ(moved(), 3);
    copy = moved;
    EXPECT_EQ(copy(), 4);
    moved.swap(original);
    EXPECT_EQ(original(), 4);
    EXPECT_THROW(moved(), std::bad_function_call);
    copy = nullptr;
    EXPECT_FALSE(copy);
  }
  EXPECT_TRUE(watch.expired());
}

TEST(InlineFunctionTest, CallablesInPlaceAndOnTheHeapBehaveAlikeAndEmptyOnesThrow) {
  CheckCopiesMovesAndRelease<Counting<1>>();   // in place
  CheckCopiesMovesAndRelease<Counting<64>>();  // on the heap
  int (*none)() = nullptr;
  for (const Counter& empty : {Counter(), Counter(nullptr), Counter(none)}) {
    EXPECT_FALSE(empty);
    EXPECT_THROW(empty(), std::bad_function_call);
  }
}

}  // namespace
}  // namespace Quil::Detail
