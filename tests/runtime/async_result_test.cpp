#include <quil/async_result.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <quil/client/future_result.h>

namespace Quil {
namespace {

using namespace std::chrono_literals;

// Errors reach futures in the remote TransportTest and a result dropped unanswered breaks the
// promise in CpusEndToEndTest; left here: the progress callback and an answer from elsewhere.
TEST(FutureResultTest, BlocksUntilAnotherThreadAnswersAndPassesProgressOn) {
  std::vector<Progress> reports;  // written by the delivering thread before the answer
  auto [result, answer] = Client::MakeFutureResult<std::string>(
      [&reports](const Progress& progress) { reports.push_back(progress); });
  std::thread provider([result = result] {
    std::this_thread::sleep_for(20ms);
    result.progress(Progress{0, 2, 1});
    result(std::string("from the provider"));
  });
  const Client::Reply<std::string> reply = answer.get();
  provider.join();
  EXPECT_EQ(reply.value(), "from the provider");
  EXPECT_EQ(reports, (std::vector<Progress>{{0, 2, 1}}));
}

TEST(AsyncResultDeathTest, ASecondFinalDeliveryEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  int deliveries = 0;
  const AsyncResult<std::string> result([&deliveries](auto&&...) { ++deliveries; });
  result(std::string("a"));
  EXPECT_DEATH(result(std::string("b")), "");
  EXPECT_EQ(deliveries, 1);
}

}  // namespace
}  // namespace Quil
