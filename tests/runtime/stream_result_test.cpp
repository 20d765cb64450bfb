#include <quil/stream_result.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <boost/optional/optional_io.hpp>

namespace Quil {
namespace {

using Stream = AsyncStreamResult<std::string>;

struct Delivery {
  boost::optional<std::string> value;
  Data::ErrorValuePtr error;
  boost::optional<Data::NativeError> nativeError;
  Progress progress;
  Stream::Continuation next;
};

Stream::ResultCb::StreamFunction Recording(std::vector<Delivery>& deliveries) {
  return [&deliveries](boost::optional<std::string> value, Data::ErrorValuePtr error,
                       boost::optional<Data::NativeError> nativeError, Progress progress,
                       Stream::Continuation&& next) {
    deliveries.push_back(
        {std::move(value), std::move(error), std::move(nativeError), progress, std::move(next)});
  };
}

const Data::ErrorValuePtr kGone = Data::ErrorValue::GetInstance("com.example.gone");

TEST(StreamResultTest, DeliversValuesWithTheirContinuation) {
  std::vector<Delivery> deliveries;
  const Stream::Next first = MakeOptionalPtr<Stream>(Recording(deliveries));
  EXPECT_FALSE(first->callbacks().value);
  EXPECT_TRUE(first->callbacks().stream);

  std::vector<Stream::Next> handedOn;
  first->progress(Progress{0, 2, 1});
  (*first)(std::string("a"), [&handedOn](Stream::Next next) { handedOn.push_back(next); });
  ASSERT_EQ(deliveries.size(), 2u);
  EXPECT_FALSE(deliveries[0].value);
  EXPECT_EQ(deliveries[0].progress, (Progress{0, 2, 1}));
  EXPECT_FALSE(deliveries[0].next);
  EXPECT_EQ(deliveries[1].value, std::string("a"));
  EXPECT_EQ(deliveries[1].error, nullptr);
  EXPECT_FALSE(deliveries[1].nativeError);
  EXPECT_EQ(deliveries[1].progress, kFinalProgress);
  ASSERT_TRUE(deliveries[1].next);

  // The receiver hands the producer the next result object through the continuation.
  deliveries[1].next(MakeOptionalPtr<Stream>(Recording(deliveries)));
  ASSERT_EQ(handedOn.size(), 1u);
  (*handedOn[0])(std::string("b"));  // without a continuation: the last value
  handedOn.clear();
  ASSERT_EQ(deliveries.size(), 3u);
  EXPECT_EQ(deliveries[2].value, std::string("b"));
  EXPECT_FALSE(deliveries[2].next);

  // An error ends the stream; it passes unchanged, null included.
  Stream(Recording(deliveries)).error(kGone);
  Stream(Recording(deliveries)).error(nullptr);
  ASSERT_EQ(deliveries.size(), 5u);
  EXPECT_EQ(deliveries[3].error, kGone);
  EXPECT_FALSE(deliveries[3].value);
  EXPECT_FALSE(deliveries[3].next);
  EXPECT_EQ(deliveries[3].progress, kFinalProgress);
  EXPECT_EQ(deliveries[4].error, nullptr);
  EXPECT_EQ(deliveries[4].progress, kFinalProgress);

  // Void streams deliver the empty value, with or without a continuation.
  int voids = 0;
  const auto countVoid = [&voids](boost::optional<Void> value, Data::ErrorValuePtr,
                                  boost::optional<Data::NativeError>, Progress,
                                  AsyncStreamResult<Void>::Continuation&& next) {
    EXPECT_TRUE(value);
    voids += next ? 10 : 1;
  };
  const AsyncStreamResult<Void> last(countVoid);
  const AsyncStreamResult<Void> more(countVoid);
  last();
  more([](AsyncStreamResult<Void>::Next) {});
  EXPECT_EQ(voids, 11);
}

TEST(StreamResultTest, DispatchPrefersTheValueSlot) {
  std::vector<Delivery> deliveries;
  const Data::NativeError native{"com.example.broken", {}};
  Stream::ResultCb callbacks;
  callbacks.stream = Recording(deliveries);
  callbacks(boost::none, nullptr, native, kFinalProgress, Stream::Continuation());
  ASSERT_EQ(deliveries.size(), 1u);
  EXPECT_TRUE(deliveries[0].nativeError == native);

  int valueCalls = 0;
  callbacks.value = [&valueCalls](boost::optional<std::string> value, Data::ErrorValuePtr, Progress,
                                  Stream::Continuation&& next) {
    ++valueCalls;
    EXPECT_EQ(value, std::string("x"));
    EXPECT_TRUE(next);
  };
  const Stream both(callbacks);
  both(std::string("x"), [](Stream::Next) {});
  EXPECT_EQ(valueCalls, 1);
  EXPECT_EQ(deliveries.size(), 1u);

  const Stream empty;
  EXPECT_THROW(empty.progress(Progress{0, 2, 1}), std::bad_function_call);
  EXPECT_THROW(empty(std::string("x")), std::bad_function_call);
  EXPECT_THROW(empty.error(kGone), std::bad_function_call);
}

TEST(StreamResultTest, OneShotLikeAsyncResult) {
  auto token = std::make_shared<int>(0);
  const std::weak_ptr<int> watch = token;
  int calls = 0;
  const Stream original([&calls, token](boost::optional<std::string>, Data::ErrorValuePtr,
                                        boost::optional<Data::NativeError>, Progress,
                                        Stream::Continuation&&) {
    if (++calls == 1) throw std::runtime_error("busy");
  });
  token.reset();
  const Stream copy = original;

  // A throwing callback leaves the object open.
  EXPECT_THROW(original(std::string("a")), std::runtime_error);
  EXPECT_EQ(watch.use_count(), 2);
  original(std::string("a"));
  EXPECT_EQ(watch.use_count(), 1);  // spent: the caller's callable is released
  copy.error(kGone);                // the copy is still open
  EXPECT_EQ(calls, 3);
  EXPECT_TRUE(watch.expired());
}

TEST(StreamResultDeathTest, EveryDeliveryAfterTheFinalOneEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto ignore = [](boost::optional<std::string>, Data::ErrorValuePtr,
                         boost::optional<Data::NativeError>, Progress, Stream::Continuation&&) {};
  EXPECT_DEATH(
      {
        const Stream result(ignore);
        result(std::string("a"), [](Stream::Next) {});
        result(std::string("b"));
      },
      "");
  EXPECT_DEATH(
      {
        const Stream result(ignore);
        result.error(kGone);
        result.progress(Progress{0, 2, 1});
      },
      "");
}

}  // namespace
}  // namespace Quil
