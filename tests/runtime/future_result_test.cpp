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

}  // namespace
}  // namespace Quil::Client
