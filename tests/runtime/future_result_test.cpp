#include <quil/client/future_result.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <boost/optional/bad_optional_access.hpp>

namespace Quil::Client {
namespace {

using namespace std::chrono_literals;

const Data::ErrorValuePtr kNotFound =
    Data::ErrorValue::GetInstance("com.korvan.quil.std.errors.not_found");

bool IsReady(const std::future<Reply<std::string>>& answer) {
  return answer.wait_for(0s) == std::future_status::ready;
}

TEST(FutureResultTest, ValuesAndErrorsBecomeReplies) {
  {
    auto [result, answer] = MakeFutureResult<std::string>();
    EXPECT_FALSE(IsReady(answer));
    result(std::string("cdrom-1"));
    const Reply<std::string> reply = answer.get();
    EXPECT_TRUE(reply.ok());
    EXPECT_EQ(reply.value(), "cdrom-1");
    EXPECT_EQ(reply.error(), nullptr);
  }
  {
    auto [result, answer] = MakeFutureResult<std::shared_ptr<const int>>();
    const auto shared = std::make_shared<const int>(4);
    result(shared);
    EXPECT_EQ(answer.get().value(), shared);
  }
  {
    auto [result, answer] = MakeFutureResult<Void>();
    result();
    EXPECT_TRUE(answer.get().ok());
  }
  {
    auto [result, answer] = MakeFutureResult<std::string>();
    result.error(kNotFound);
    const Reply<std::string> reply = answer.get();
    EXPECT_FALSE(reply.ok());
    EXPECT_EQ(reply.error(), kNotFound);
    EXPECT_THROW(reply.value(), boost::bad_optional_access);
  }
  {
    // A provider that answers with neither value nor error: a failed reply without an error.
    auto [result, answer] = MakeFutureResult<std::string>();
    result.error(nullptr);
    const Reply<std::string> reply = answer.get();
    EXPECT_FALSE(reply.ok());
    EXPECT_EQ(reply.error(), nullptr);
  }
  {
    // Copies share the promise: the second answer is refused.
    auto [result, answer] = MakeFutureResult<std::string>();
    const AsyncResult<std::string> copy = result;
    result(std::string("first"));
    EXPECT_THROW(copy.error(kNotFound), std::future_error);
    EXPECT_EQ(answer.get().value(), "first");
  }
  {
    // Dropped unanswered: the promise is broken.
    std::future<Reply<std::string>> answer;
    {
      FutureResult<std::string> made = MakeFutureResult<std::string>();
      answer = std::move(made.answer);
    }
    EXPECT_THROW(answer.get(), std::future_error);
  }
}

TEST(FutureResultTest, ProgressGoesToTheOptionalCallback) {
  std::vector<Progress> reports;
  auto [result, answer] = MakeFutureResult<std::string>(
      [&reports](const Progress& progress) { reports.push_back(progress); });
  result.progress(Progress{1, 3, 1});
  result.progress(Progress{1, 3, 2});
  EXPECT_FALSE(IsReady(answer));
  result(std::string("done"));
  EXPECT_EQ(answer.get().value(), "done");
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[1], (Progress{1, 3, 2}));

  // Without a callback progress is ignored.
  auto [quiet, quietAnswer] = MakeFutureResult<std::string>();
  quiet.progress(Progress{1, 3, 1});
  EXPECT_FALSE(IsReady(quietAnswer));
  quiet(std::string("done"));
  EXPECT_TRUE(quietAnswer.get().ok());
}

TEST(FutureResultTest, AnswerFromAnotherThread) {
  std::vector<Progress> reports;  // written by the delivering thread before the answer
  auto [result, answer] = MakeFutureResult<std::string>(
      [&reports](const Progress& progress) { reports.push_back(progress); });
  std::thread provider([result = result] {
    std::this_thread::sleep_for(20ms);
    result.progress(Progress{0, 2, 1});
    result(std::string("from the provider"));
  });
  const Reply<std::string> reply = answer.get();  // blocks until the provider answers
  provider.join();
  EXPECT_EQ(reply.value(), "from the provider");
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0], (Progress{0, 2, 1}));
}

}  // namespace
}  // namespace Quil::Client
