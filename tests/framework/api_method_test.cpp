#include <quil/provider/api_method.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace Quil::Provider {
namespace {

using ResultCb = AsyncApiMethod::ResultCb;

struct Report {
  Data::DataValuePtr output;
  Data::ErrorValuePtr error;
  Progress progress;
  bool hasContinuation;
};

ResultCb Recording(std::vector<Report>& reports) {
  return ResultCb([&reports](Data::DataValuePtr output, Data::ErrorValuePtr error,
                             Progress progress, ResultCb::Continuation&& next) {
    reports.push_back({std::move(output), std::move(error), progress, static_cast<bool>(next)});
  });
}

TEST(ApiMethodResultCbTest, OneShotOnOutputOrError) {
  EXPECT_THROW(ResultCb()(nullptr, nullptr, Progress{0, 2, 1}, {}), std::bad_function_call);

  const Data::DataValuePtr output = Data::DataValue::Create(std::string("done"));
  const Data::ErrorValuePtr error =
      Data::ErrorValue::GetInstance("com.korvan.quil.std.errors.error");
  std::vector<Report> reports;

  ResultCb withOutput = Recording(reports);
  withOutput(nullptr, nullptr, Progress{0, 2, 1}, {});
  // Neither output nor error is a progress report even when complete.
  withOutput(nullptr, nullptr, Progress{0, 2, 2}, {});
  EXPECT_TRUE(withOutput);
  withOutput(output, nullptr, kFinalProgress, [](std::shared_ptr<ResultCb>) {});
  EXPECT_FALSE(withOutput);
  EXPECT_THROW(withOutput(output, nullptr, kFinalProgress, {}), std::bad_function_call);

  ResultCb withError = Recording(reports);
  ResultCb copyOfError = withError;
  withError(nullptr, error, kFinalProgress, {});
  EXPECT_FALSE(withError);
  EXPECT_TRUE(copyOfError);

  ASSERT_EQ(reports.size(), 4u);
  EXPECT_EQ(reports[0].progress, (Progress{0, 2, 1}));
  EXPECT_EQ(reports[2].output, output);
  EXPECT_TRUE(reports[2].hasContinuation);
  EXPECT_EQ(reports[3].error, error);
}

}  // namespace
}  // namespace Quil::Provider
