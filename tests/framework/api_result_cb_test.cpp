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

TEST(AsyncApiResultCbTest, ProgressKeepsItAndTheFinalAnswerEmptiesIt) {
  const MethodResultPtr result = MethodResult::Create(Data::DataValue::Create(Void{}), nullptr);
  EXPECT_THROW(AsyncApiResultCb()(nullptr, Progress{0, 3, 1}, {}), std::bad_function_call);
  EXPECT_THROW(AsyncApiResultCb()(result, kFinalProgress, {}), std::bad_function_call);

  std::vector<Call> calls;
  AsyncApiResultCb cb = Recording(calls);
  AsyncApiResultCb copy = cb;
  for (std::int64_t done = 0; done < 3; ++done) cb(nullptr, Progress{1, 3, done}, {});
  EXPECT_TRUE(cb);
  cb(result, kFinalProgress, [](std::shared_ptr<AsyncApiResultCb>) {});
  EXPECT_FALSE(cb);
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[2].progress, (Progress{1, 3, 2}));
  EXPECT_FALSE(calls[2].hasContinuation);
  EXPECT_EQ(calls[3].result, result);
  EXPECT_TRUE(calls[3].hasContinuation);

  // A provider answering twice gets the failure; the receiver never sees the second answer.
  EXPECT_THROW(cb(result, kFinalProgress, {}), std::bad_function_call);
  EXPECT_THROW(cb(nullptr, Progress{1, 3, 1}, {}), std::bad_function_call);
  EXPECT_EQ(calls.size(), 4u);

  // A copy empties only itself.
  EXPECT_TRUE(copy);
  swap(cb, copy);
  EXPECT_FALSE(copy);
  cb(result, kFinalProgress, {});
  EXPECT_EQ(calls.size(), 5u);
}

TEST(AsyncApiResultCbTest, IsEmptiedBeforeTheCallee) {
  // A callee that answers again through the same object must not reach itself.
  AsyncApiResultCb cb;
  int reached = 0;
  cb = AsyncApiResultCb([&](MethodResultPtr result, Progress progress, auto) {
    ++reached;
    EXPECT_THROW(cb(result, progress, {}), std::bad_function_call);
  });
  cb(MethodResult::Create(nullptr, nullptr), kFinalProgress, {});
  EXPECT_EQ(reached, 1);
}

}  // namespace
}  // namespace Quil::Core
