#include <quil/client/future_result.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace Quil::Client {
namespace {

using namespace std::chrono_literals;

TEST(FutureResultTest, BlocksUntilAnotherThreadAnswersAndPassesProgressOn) {
  std::vector<Progress> reports;  // written by the delivering thread before the answer
  auto [result, answer] = MakeFutureResult<std::string>(
      [&reports](const Progress& progress) { reports.push_back(progress); });
  std::thread provider([result = result] {
    std::this_thread::sleep_for(20ms);
    result.progress(Progress{0, 2, 1});
    result(std::string("from the provider"));
  });
  const Reply<std::string> reply = answer.get();
  provider.join();
  EXPECT_EQ(reply.value(), "from the provider");
  EXPECT_EQ(reports, (std::vector<Progress>{{0, 2, 1}}));

  auto [failing, failed] = MakeFutureResult<std::string>();
  const Data::ErrorValuePtr notFound = Data::ErrorValue::GetInstance("com.example.not_found");
  failing.error(notFound);
  EXPECT_EQ(failed.get().error(), notFound);
}

TEST(FutureResultTest, DroppingEveryCopyUnansweredBreaksThePromise) {
  std::future<Reply<std::string>> answer;
  {
    auto made = MakeFutureResult<std::string>();
    answer = std::move(made.answer);
    const AsyncResult<std::string> copy = made.result;
    copy.progress(Progress{0, 2, 1});
  }
  ASSERT_EQ(answer.wait_for(0s), std::future_status::ready);
  try {
    answer.get();
    ADD_FAILURE() << "no std::future_error";
  } catch (const std::future_error& error) {
    EXPECT_EQ(error.code(), std::future_errc::broken_promise);
  }
}

}  // namespace
}  // namespace Quil::Client
