#include <quil/async_result.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <boost/optional/optional_io.hpp>

namespace Quil {
namespace {

struct Delivery {
  boost::optional<std::string> value;
  Data::ErrorValuePtr error;
  Progress progress;
};

AsyncResultCb<std::string>::NativeFunction Recording(std::vector<Delivery>& deliveries) {
  return [&deliveries](boost::optional<std::string> value, Data::ErrorValuePtr error,
                       boost::optional<Data::NativeError>, Progress progress) {
    deliveries.push_back({std::move(value), std::move(error), progress});
  };
}

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
  EXPECT_EQ(deliveries[3].progress, (Progress{0, 1, 1}));
}

TEST(AsyncResultTest, DroppedOpenItAnswersNothingAndReleasesTheCallable) {
  std::vector<Delivery> deliveries;
  auto held = std::make_shared<int>(0);
  const std::weak_ptr<int> watch = held;
  {
    const AsyncResult<std::string> result(
        [&deliveries, held = std::move(held)](
            boost::optional<std::string> value, Data::ErrorValuePtr error,
            boost::optional<Data::NativeError>, Progress progress) {
          deliveries.push_back({std::move(value), std::move(error), progress});
        });
    result.progress(Progress{0, 2, 1});
  }
  EXPECT_EQ(deliveries.size(), 1u);  // the progress report only
  EXPECT_TRUE(watch.expired());
}

TEST(AsyncResultDeathTest, ASecondFinalDeliveryEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  std::vector<Delivery> deliveries;
  const AsyncResult<std::string> result(Recording(deliveries));
  result(std::string("a"));
  EXPECT_DEATH(result(std::string("b")), "");
  EXPECT_EQ(deliveries.size(), 1u);
}

}  // namespace
}  // namespace Quil
