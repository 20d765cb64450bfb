#include <quil/core/api_result_cb.h>

#include <functional>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

namespace Quil::Core {
namespace {

struct Call {
  MethodResultPtr result;
  Progress progress;
  bool hasContinuation;
};

AsyncApiResultCb Recording(std::vector<Call>& calls) {
  return AsyncApiResultCb(
      [&calls](MethodResultPtr result, Progress progress, AsyncApiResultCb::Continuation next) {
        calls.push_back({std::move(result), progress, static_cast<bool>(next)});
      });
}

TEST(AsyncApiResultCbTest, EmptyCallbackThrowsOnEveryCall) {
  AsyncApiResultCb empty;
  EXPECT_FALSE(empty);
  EXPECT_THROW(empty(nullptr, Progress{0, 3, 1}, {}), std::bad_function_call);
  EXPECT_THROW(empty(MethodResult::Create(nullptr, nullptr), kFinalProgress, {}),
               std::bad_function_call);
}

TEST(AsyncApiResultCbTest, ProgressKeepsItFinalAnswerEmptiesIt) {
  std::vector<Call> calls;
  AsyncApiResultCb cb = Recording(calls);
  for (std::int64_t done = 0; done < 3; ++done) {
    cb(nullptr, Progress{1, 3, done}, {});
  }
  EXPECT_TRUE(cb);
  const MethodResultPtr result = MethodResult::Create(Data::DataValue::Create(Void{}), nullptr);
  cb(result, kFinalProgress, [](std::shared_ptr<AsyncApiResultCb>) {});
  EXPECT_FALSE(cb);

  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].result, nullptr);
  EXPECT_EQ(calls[2].progress, (Progress{1, 3, 2}));
  EXPECT_FALSE(calls[2].hasContinuation);
  EXPECT_EQ(calls[3].result, result);
  EXPECT_EQ(calls[3].progress, kFinalProgress);
  EXPECT_TRUE(calls[3].hasContinuation);

  // A provider answering twice gets the failure; the receiver never sees the second answer.
  EXPECT_THROW(cb(result, kFinalProgress, {}), std::bad_function_call);
  EXPECT_THROW(cb(nullptr, Progress{1, 3, 1}, {}), std::bad_function_call);
  EXPECT_EQ(calls.size(), 4u);
}

TEST(AsyncApiResultCbTest, CopiesAndSwapsAreIndependent) {
  std::vector<Call> calls;
  AsyncApiResultCb original = Recording(calls);
  AsyncApiResultCb copy = original;
  const MethodResultPtr result = MethodResult::Create(nullptr, nullptr);

  original(result, kFinalProgress, {});
  EXPECT_FALSE(original);
  EXPECT_TRUE(copy);
  copy(result, kFinalProgress, {});
  EXPECT_EQ(calls.size(), 2u);

  AsyncApiResultCb spent = original;
  AsyncApiResultCb live = Recording(calls);
  swap(spent, live);
  EXPECT_TRUE(spent);
  EXPECT_FALSE(live);
  spent(result, kFinalProgress, {});
  EXPECT_EQ(calls.size(), 3u);
}

TEST(AsyncApiResultCbTest, IsEmptiedBeforeTheCallee) {
  // A callee that answers again through the same object must not reach itself.
  AsyncApiResultCb cb;
  int reached = 0;
  bool secondThrew = false;
  cb = AsyncApiResultCb([&](MethodResultPtr result, Progress progress, auto) {
    ++reached;
    try {
      cb(result, progress, {});
    } catch (const std::bad_function_call&) {
      secondThrew = true;
    }
  });
  cb(MethodResult::Create(nullptr, nullptr), kFinalProgress, {});
  EXPECT_EQ(reached, 1);
  EXPECT_TRUE(secondThrew);
}

}  // namespace
}  // namespace Quil::Core
