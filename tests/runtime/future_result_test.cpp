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

TEST(FutureResultTest, ValuesAndErrorsBecomeReplies) {
  {
    auto [result, answer] = MakeFutureResult<std::string>();
    EXPECT_EQ(answer.wait_for(0s), std::future_status::timeout);
    result(std::string("cdrom-1"));
    const Reply<std::string> reply = answer.get();
    EXPECT_TRUE(reply.ok());
    EXPECT_EQ(reply.value(), "cdrom-1");
    EXPECT_EQ(reply.error(), nullptr);
  }
  for (const Data::ErrorValuePtr& error : {kNotFound, Data::ErrorValuePtr()}) {
    auto [result, answer] = MakeFutureResult<std::string>();
    result.error(error);
    const Reply<std::string> reply = answer.get();
    EXPECT_FALSE(reply.ok());
    EXPECT_EQ(reply.error(), error);
    EXPECT_THROW(reply.value(), boost::bad_optional_access);
  }
  {
    // Copies share the promise: the second answer is refused.
    auto [result, answer] = MakeFutureResult<std::string>();
    const AsyncResult<std::string> copy = result;
    result(std::string("first"));
    EXPECT_THROW(copy.error(kNotFound), std::future_error);
    EXPECT_EQ(answer.get().value(), "first");
  }
  std::future<Reply<std::string>> dropped = MakeFutureResult<std::string>().answer;
  EXPECT_THROW(dropped.get(), std::future_error);  // broken promise
}

TEST(FutureResultTest, BlocksUntilAnotherThreadAnswersAndPassesProgressOn) {
  std::vector<Progress> reports;  // written by the delivering thread before the answer
  auto [result, answer] = MakeFutureResult<std::string>(
      [&reports](const Progress& progress) { reports.push_back(progress); });
  std::thread provider([result = result] {
    std::this_thread::sleep_for(20ms);
    result.progress(Progress{0, 2, 1});
    result.progress(Progress{1, 3, 2});
    result(std::string("from the provider"));
  });
  const Reply<std::string> reply = answer.get();
  provider.join();
  EXPECT_EQ(reply.value(), "from the provider");
  EXPECT_EQ(reports, (std::vector<Progress>{{0, 2, 1}, {1, 3, 2}}));
}

}  // namespace
}  // namespace Quil::Client
