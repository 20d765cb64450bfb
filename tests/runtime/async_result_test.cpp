#include <quil/async_result.h>

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

template <typename R>
struct Delivery {
  boost::optional<R> value;
  Data::ErrorValuePtr error;
  boost::optional<Data::NativeError> nativeError;
  Progress progress;
};

template <typename R>
typename AsyncResultCb<R>::NativeFunction Recording(std::vector<Delivery<R>>& deliveries) {
  return [&deliveries](boost::optional<R> value, Data::ErrorValuePtr error,
                       boost::optional<Data::NativeError> nativeError, Progress progress) {
    deliveries.push_back({std::move(value), std::move(error), std::move(nativeError), progress});
  };
}

const Data::ErrorValuePtr kNotFound = Data::ErrorValue::GetInstance("com.example.not_found");

TEST(AsyncResultTest, ProgressReportsThenOneFinalDelivery) {
  std::vector<Delivery<std::string>> deliveries;
  const AsyncResult<std::string> result(Recording(deliveries));
  for (std::int64_t done = 0; done < 3; ++done) result.progress(Progress{2, 3, done});
  result(std::string("done"));

  ASSERT_EQ(deliveries.size(), 4u);
  for (std::int64_t done = 0; done < 3; ++done) {
    const auto& report = deliveries[static_cast<std::size_t>(done)];
    EXPECT_FALSE(report.value);
    EXPECT_EQ(report.error, nullptr);
    EXPECT_FALSE(report.nativeError);
    EXPECT_EQ(report.progress, (Progress{2, 3, done}));
  }
  EXPECT_EQ(deliveries[3].value, std::string("done"));
  EXPECT_EQ(deliveries[3].error, nullptr);
  EXPECT_FALSE(deliveries[3].nativeError);
  EXPECT_EQ(deliveries[3].progress, (Progress{0, 1, 1}));

  // Errors pass unchanged; a null error is a final delivery too.
  std::vector<Delivery<std::string>> errors;
  AsyncResult<std::string>(Recording(errors)).error(kNotFound);
  AsyncResult<std::string>(Recording(errors)).error(nullptr);
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].error, kNotFound);
  EXPECT_FALSE(errors[0].value);
  EXPECT_EQ(errors[0].progress, kFinalProgress);
  EXPECT_EQ(errors[1].error, nullptr);
  EXPECT_FALSE(errors[1].value);
  EXPECT_EQ(errors[1].progress, kFinalProgress);

  // Void answers the empty value.
  std::vector<Delivery<Void>> voids;
  AsyncResult<Void>(Recording(voids))();
  ASSERT_EQ(voids.size(), 1u);
  EXPECT_TRUE(voids[0].value);
  EXPECT_EQ(voids[0].progress, kFinalProgress);
}

TEST(AsyncResultTest, DispatchPrefersTheValueSlot) {
  using Result = AsyncResult<std::int64_t>;
  const Data::NativeError native{"com.example.broken", {}};

  // A native-form callable fills the native slot only; deliveries pass no native error.
  std::vector<Delivery<std::int64_t>> deliveries;
  const Result nativeOnly(Recording(deliveries));
  EXPECT_FALSE(nativeOnly.callbacks().value);
  EXPECT_TRUE(nativeOnly.callbacks().native);
  nativeOnly.progress(Progress{0, 2, 1});
  nativeOnly(7);
  ASSERT_EQ(deliveries.size(), 2u);
  EXPECT_FALSE(deliveries[0].nativeError);
  EXPECT_FALSE(deliveries[1].nativeError);

  // The slots themselves pass a native error on to the native slot...
  Result::ResultCb callbacks;
  callbacks.native = Recording(deliveries);
  callbacks(boost::none, nullptr, native, kFinalProgress);
  ASSERT_EQ(deliveries.size(), 3u);
  EXPECT_TRUE(deliveries[2].nativeError == native);

  // ...but the value slot, when set, takes every delivery and never sees it.
  int valueCalls = 0;
  callbacks.value = [&valueCalls](boost::optional<std::int64_t> value, Data::ErrorValuePtr error,
                                  Progress progress) {
    ++valueCalls;
    EXPECT_EQ(value, boost::none);
    EXPECT_EQ(error, kNotFound);
    EXPECT_EQ(progress, kFinalProgress);
  };
  callbacks(boost::none, kNotFound, native, kFinalProgress);
  Result(callbacks).error(kNotFound);
  EXPECT_EQ(valueCalls, 2);
  EXPECT_EQ(deliveries.size(), 3u);

  // Both slots empty: every delivery raises bad_function_call.
  const Result empty;
  EXPECT_THROW(empty.progress(Progress{0, 2, 1}), std::bad_function_call);
  EXPECT_THROW(empty(1), std::bad_function_call);
  EXPECT_THROW(empty.error(nullptr), std::bad_function_call);
  EXPECT_THROW(Result(Result::ResultCb{})(1), std::bad_function_call);
}

TEST(AsyncResultTest, CopiesAreIndependentAndReleaseTheirCallable) {
  auto token = std::make_shared<int>(0);
  const std::weak_ptr<int> watch = token;
  int calls = 0;
  const AsyncResult<std::int64_t> original(
      [&calls, token](boost::optional<std::int64_t>, Data::ErrorValuePtr,
                      boost::optional<Data::NativeError>, Progress) { ++calls; });
  token.reset();
  const AsyncResult<std::int64_t> copy = original;
  EXPECT_EQ(watch.use_count(), 2);

  original(1);
  EXPECT_EQ(calls, 1);
  // The spent object holds the terminating functions, no longer the caller's.
  EXPECT_EQ(watch.use_count(), 1);
  EXPECT_TRUE(original.callbacks().value);
  EXPECT_TRUE(original.callbacks().native);

  copy.error(nullptr);
  EXPECT_EQ(calls, 2);
  EXPECT_TRUE(watch.expired());
}

TEST(AsyncResultTest, ThrowingCallbackLeavesTheObjectOpen) {
  int calls = 0;
  const AsyncResult<std::int64_t> result([&calls](boost::optional<std::int64_t>,
                                                  Data::ErrorValuePtr,
                                                  boost::optional<Data::NativeError>, Progress) {
    if (++calls < 3) throw std::runtime_error("busy");
  });
  EXPECT_THROW(result(1), std::runtime_error);
  EXPECT_THROW(result.error(kNotFound), std::runtime_error);
  EXPECT_NO_THROW(result(2));  // still open: it reaches the callable, which returns this time
  EXPECT_EQ(calls, 3);
}

TEST(AsyncResultDeathTest, EveryDeliveryAfterTheFinalOneEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto ignore = [](boost::optional<std::int64_t>, Data::ErrorValuePtr,
                         boost::optional<Data::NativeError>, Progress) {};
  using Result = AsyncResult<std::int64_t>;

  EXPECT_DEATH(
      {
        const Result result(ignore);
        result(1);
        result(2);
      },
      "");
  EXPECT_DEATH(
      {
        const Result result(ignore);
        result.error(nullptr);
        result(2);
      },
      "");
  EXPECT_DEATH(
      {
        const Result result(ignore);
        result(1);
        result.error(kNotFound);
      },
      "");
  EXPECT_DEATH(
      {
        const Result result(ignore);
        result(1);
        result.progress(Progress{0, 2, 1});
      },
      "");
  // Also when the caller had filled the value slot.
  EXPECT_DEATH(
      {
        Result::ResultCb callbacks;
        callbacks.value = [](boost::optional<std::int64_t>, Data::ErrorValuePtr, Progress) {};
        const Result result(callbacks);
        result(1);
        result(1);
      },
      "");
}

}  // namespace
}  // namespace Quil
