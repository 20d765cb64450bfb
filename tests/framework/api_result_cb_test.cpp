#include <quil/core/api_result_cb.h>

#include <functional>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

namespace Quil::Core {
namespace {

TEST(AsyncApiResultCbTest, ProgressKeepsItAndTheFinalAnswerEmptiesIt) {
  const MethodResultPtr result = MethodResult::Create(Data::DataValue::Create(Void{}), nullptr);
  EXPECT_THROW(AsyncApiResultCb()(result, kFinalProgress, {}), std::bad_function_call);

  std::vector<std::pair<MethodResultPtr, bool>> calls;  // result, had a continuation
  AsyncApiResultCb cb([&calls](MethodResultPtr r, Progress, AsyncApiResultCb::Continuation next) {
    calls.emplace_back(std::move(r), static_cast<bool>(next));
  });
  AsyncApiResultCb copy = cb;
  for (std::int64_t done = 0; done < 3; ++done) cb(nullptr, Progress{1, 3, done}, {});
  EXPECT_TRUE(cb);
  cb(result, kFinalProgress, [](std::shared_ptr<AsyncApiResultCb>) {});
  EXPECT_FALSE(cb);
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[3].first, result);
  EXPECT_TRUE(calls[3].second);

  // A provider answering twice gets the failure; the receiver never sees the second answer.
  EXPECT_THROW(cb(result, kFinalProgress, {}), std::bad_function_call);
  EXPECT_THROW(cb(nullptr, Progress{1, 3, 1}, {}), std::bad_function_call);
  EXPECT_EQ(calls.size(), 4u);
  EXPECT_TRUE(copy);  // a copy empties only itself

  // A callee answering again through the same object must not reach itself.
  int reached = 0;
  cb = AsyncApiResultCb([&](MethodResultPtr r, Progress progress, auto) {
    ++reached;
    EXPECT_THROW(cb(r, progress, {}), std::bad_function_call);
  });
  cb(result, kFinalProgress, {});
  EXPECT_EQ(reached, 1);
}

}  // namespace
}  // namespace Quil::Core
