#include <quil/async_result.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <boost/optional/optional_io.hpp>

#include <quil/stream_result.h>

namespace Quil {
namespace {

using Stream = AsyncStreamResult<std::string>;

struct Delivery {
  boost::optional<std::string> value;
  Data::ErrorValuePtr error;
  boost::optional<Data::NativeError> nativeError;
  Progress progress;
};

AsyncResultCb<std::string>::NativeFunction Recording(std::vector<Delivery>& deliveries) {
  return [&deliveries](boost::optional<std::string> value, Data::ErrorValuePtr error,
                       boost::optional<Data::NativeError> nativeError, Progress progress) {
    deliveries.push_back({std::move(value), std::move(error), std::move(nativeError), progress});
  };
}

const Data::ErrorValuePtr kNotFound = Data::ErrorValue::GetInstance("com.example.not_found");

TEST(AsyncResultTest, ProgressReportsThenOneFinalDelivery) {
  std::vector<Delivery> deliveries;
  const AsyncResult<std::string> result(Recording(deliveries));
  for (std::int64_t done = 0; done < 3; ++done) result.progress(Progress{2, 3, done});
  result(std::string("done"));
  ASSERT_EQ(deliveries.size(), 4u);
  for (std::int64_t done = 0; done < 3; ++done) {
    const Delivery& report = deliveries[static_cast<std::size_t>(done)];
    EXPECT_FALSE(report.value);
    EXPECT_EQ(report.error, nullptr);
    EXPECT_EQ(report.progress, (Progress{2, 3, done}));
  }
  EXPECT_EQ(deliveries[3].value, std::string("done"));
  EXPECT_EQ(deliveries[3].error, nullptr);
  EXPECT_FALSE(deliveries[3].nativeError);
  EXPECT_EQ(deliveries[3].progress, (Progress{0, 1, 1}));

  // Errors pass unchanged, null included, as final deliveries.
  AsyncResult<std::string>(Recording(deliveries)).error(kNotFound);
  AsyncResult<std::string>(Recording(deliveries)).error(nullptr);
  ASSERT_EQ(deliveries.size(), 6u);
  EXPECT_EQ(deliveries[4].error, kNotFound);
  EXPECT_EQ(deliveries[5].error, nullptr);
  EXPECT_FALSE(deliveries[5].value);
  EXPECT_EQ(deliveries[5].progress, kFinalProgress);
}

TEST(AsyncResultTest, DispatchPrefersTheValueSlot) {
  const Data::NativeError native{"com.example.broken", {}};
  std::vector<Delivery> deliveries;
  AsyncResult<std::string>::ResultCb callbacks;
  callbacks.native = Recording(deliveries);
  callbacks(boost::none, nullptr, native, kFinalProgress);
  ASSERT_EQ(deliveries.size(), 1u);
  EXPECT_TRUE(deliveries[0].nativeError == native);

  // The value slot, when set, takes every delivery and never sees the native error.
  int valueCalls = 0;
  callbacks.value = [&valueCalls](boost::optional<std::string>, Data::ErrorValuePtr error,
                                  Progress) {
    ++valueCalls;
    EXPECT_EQ(error, kNotFound);
  };
  callbacks(boost::none, kNotFound, native, kFinalProgress);
  AsyncResult<std::string>(callbacks).error(kNotFound);
  EXPECT_EQ(valueCalls, 2);
  EXPECT_EQ(deliveries.size(), 1u);
  EXPECT_THROW(AsyncResult<std::string>().error(nullptr), std::bad_function_call);
  EXPECT_THROW(Stream().progress(Progress{0, 2, 1}), std::bad_function_call);
}

TEST(AsyncResultDeathTest, CopiesAreIndependentAndADeliveryAfterTheFinalOneEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto token = std::make_shared<int>(0);
  const std::weak_ptr<int> watch = token;
  int calls = 0;
  const AsyncResult<std::string> original(
      [&calls, token](boost::optional<std::string>, Data::ErrorValuePtr,
                      boost::optional<Data::NativeError>, Progress) {
        if (++calls == 1) throw std::runtime_error("busy");
      });
  token.reset();
  const AsyncResult<std::string> copy = original;
  EXPECT_THROW(original(std::string("a")), std::runtime_error);  // a throwing callback: still open
  EXPECT_EQ(watch.use_count(), 2);
  original(std::string("a"));
  EXPECT_EQ(watch.use_count(), 1);  // spent: the caller's callable is released
  copy.error(nullptr);              // the copy is still open
  EXPECT_EQ(calls, 3);
  EXPECT_TRUE(watch.expired());

  EXPECT_DEATH(original(std::string("b")), "");
  EXPECT_DEATH(copy.progress(Progress{0, 2, 1}), "");
  // Also when the caller had filled the value slot, and for streams.
  EXPECT_DEATH(
      {
        AsyncResult<std::string>::ResultCb callbacks;
        callbacks.value = [](boost::optional<std::string>, Data::ErrorValuePtr, Progress) {};
        const AsyncResult<std::string> result(callbacks);
        result.error(kNotFound);
        result(std::string("b"));
      },
      "");
  EXPECT_DEATH(
      {
        const Stream stream([](boost::optional<std::string>, Data::ErrorValuePtr,
                               boost::optional<Data::NativeError>, Progress,
                               Stream::Continuation&&) {});
        stream(std::string("a"), [](Stream::Next) {});
        stream.error(kNotFound);
      },
      "");
}

TEST(StreamResultTest, DeliversValuesWithTheirContinuation) {
  struct StreamDelivery {
    boost::optional<std::string> value;
    Data::ErrorValuePtr error;
    Progress progress;
    Stream::Continuation next;
  };
  std::vector<StreamDelivery> deliveries;
  const auto recording = [&deliveries](boost::optional<std::string> value,
                                       Data::ErrorValuePtr error,
                                       boost::optional<Data::NativeError>, Progress progress,
                                       Stream::Continuation&& next) {
    deliveries.push_back({std::move(value), std::move(error), progress, std::move(next)});
  };
  const Stream::Next first = MakeOptionalPtr<Stream>(recording);
  EXPECT_FALSE(first->callbacks().value);
  std::vector<Stream::Next> handedOn;
  first->progress(Progress{0, 2, 1});
  (*first)(std::string("a"), [&handedOn](Stream::Next next) { handedOn.push_back(next); });
  ASSERT_EQ(deliveries.size(), 2u);
  EXPECT_EQ(deliveries[0].progress, (Progress{0, 2, 1}));
  EXPECT_FALSE(deliveries[0].next);
  EXPECT_EQ(deliveries[1].value, std::string("a"));
  EXPECT_EQ(deliveries[1].progress, kFinalProgress);
  ASSERT_TRUE(deliveries[1].next);

  // The receiver hands the producer the next result object through the continuation.
  deliveries[1].next(MakeOptionalPtr<Stream>(recording));
  ASSERT_EQ(handedOn.size(), 1u);
  (*handedOn[0])(std::string("b"));  // without a continuation: the last value
  Stream(recording).error(kNotFound);
  ASSERT_EQ(deliveries.size(), 4u);
  EXPECT_EQ(deliveries[2].value, std::string("b"));
  EXPECT_FALSE(deliveries[2].next);
  EXPECT_EQ(deliveries[3].error, kNotFound);
  EXPECT_FALSE(deliveries[3].next);
}

}  // namespace
}  // namespace Quil
