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
  // Neither output nor error is a report even when complete: the receiver decides what it means.
  withOutput(nullptr, nullptr, Progress{0, 2, 2}, {});
  EXPECT_TRUE(withOutput);
  withOutput(output, nullptr, kFinalProgress, [](std::shared_ptr<ResultCb>) {});
  EXPECT_FALSE(withOutput);
  EXPECT_THROW(withOutput(output, nullptr, kFinalProgress, {}), std::bad_function_call);

  ResultCb withError = Recording(reports);
  withError(nullptr, error, kFinalProgress, {});
  EXPECT_FALSE(withError);

  ResultCb withBoth = Recording(reports);
  ResultCb copyOfBoth = withBoth;
  withBoth(output, error, kFinalProgress, {});
  EXPECT_FALSE(withBoth);
  EXPECT_TRUE(copyOfBoth);

  ASSERT_EQ(reports.size(), 5u);
  EXPECT_EQ(reports[0].progress, (Progress{0, 2, 1}));
  EXPECT_EQ(reports[1].output, nullptr);
  EXPECT_EQ(reports[2].output, output);
  EXPECT_TRUE(reports[2].hasContinuation);
  EXPECT_FALSE(reports[1].hasContinuation);
  EXPECT_EQ(reports[3].error, error);
  EXPECT_EQ(reports[4].output, output);
  EXPECT_EQ(reports[4].error, error);

  swap(withBoth, copyOfBoth);
  EXPECT_TRUE(withBoth);
  EXPECT_FALSE(copyOfBoth);
}

class FakeMethod final : public AsyncApiMethod {
 public:
  explicit FakeMethod(std::string name) : name_(std::move(name)) {}

  const std::string& methodName() const override { return name_; }
  std::shared_ptr<Core::MethodDefinition> definition(
      const std::shared_ptr<const Core::InterfaceIdentifier>& interfaceId) const override {
    return std::make_shared<Core::MethodDefinition>(
        Core::MethodIdentifier::GetInstance(interfaceId, name_), nullptr, nullptr);
  }
  Data::DataDefinitionPtr inputDefinition() const override { return nullptr; }
  Data::DataDefinitionPtr outputDefinition() const override { return nullptr; }
  ErrorDefinitions errorDefinitions() override { return errors_; }
  const ErrorDefinitions& errorDefinitions() const override { return errors_; }
  void Invoke(Data::DataValuePtr, std::shared_ptr<Core::AsyncActivation>,
              const Core::AsyncApiResultCb& callback) const override {
    callback(Core::MethodResult::Create(nullptr, nullptr), kFinalProgress, {});
  }

 private:
  std::string name_;
  ErrorDefinitions errors_;
};

TEST(AsyncApiInterfaceTest, KeepsOrderAndFindsByName) {
  const auto id = Core::InterfaceIdentifier::GetInstance("com.example.power");
  const auto get = std::make_shared<const FakeMethod>("get");
  const auto reset = std::make_shared<const FakeMethod>("reset");
  const auto secondGet = std::make_shared<const FakeMethod>("get");
  const auto api = AsyncApiInterface::GetInstance(id, {reset, nullptr, get, secondGet});

  EXPECT_EQ(api->GetIdentifier(), id);
  ASSERT_EQ(api->GetMethods().size(), 4u);
  EXPECT_EQ(api->GetMethods()[0], reset);
  EXPECT_EQ(api->GetMethods()[2], get);
  EXPECT_EQ(api->FindMethod("reset"), reset);
  EXPECT_EQ(api->FindMethod("get"), get);  // the first of that name
  EXPECT_EQ(api->FindMethod("ge"), nullptr);
  EXPECT_EQ(api->FindMethod(""), nullptr);

  const auto definition = api->FindMethod("reset")->definition(id);
  EXPECT_EQ(*definition->GetIdentifier(), *Core::MethodIdentifier::GetInstance(id, "reset"));

  bool answered = false;
  api->FindMethod("get")->Invoke(
      nullptr, std::make_shared<Core::AsyncActivation>(),
      Core::AsyncApiResultCb(
          [&](Core::MethodResultPtr result, Progress, auto) { answered = result != nullptr; }));
  EXPECT_TRUE(answered);
}

}  // namespace
}  // namespace Quil::Provider
