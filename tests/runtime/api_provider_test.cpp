#include <quil/provider/api_provider.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <quil/error_names.h>
#include <quil/provider/method_signal.h>

#include "runtime/provider_recorders.h"

namespace Quil::ProviderTesting {
namespace {

using Core::MethodIdentifier;
using Provider::AsyncApiInterface;
using Provider::LocalApiProvider;

// An interface whose methods answer with a text naming the method and its input, and count the
// calls they answer.
struct Api {
  Api(const std::string& name, const std::vector<std::string>& methodNames) {
    AsyncApiInterface::MethodList methods;
    for (const std::string& method : methodNames) {
      const auto text = Data::DataDefinition::Create<std::string>();
      auto signal = Provider::AsyncApiMethodSignal::GetInstance(method, text, text, {}, nullptr);
      signal->SetHandler([calls = calls, label = name + "." + method](
                             const Data::DataValuePtr& input, const auto&, const auto& result) {
        ++*calls;
        std::string argument;
        MessageList messages;
        Data::DataValue::Value(input, argument, messages);
        result(Str(label + "(" + argument + ")"), nullptr, kFinalProgress, {});
      });
      methods.push_back(std::move(signal));
    }
    api = AsyncApiInterface::GetInstance(Core::InterfaceIdentifier::GetInstance(name), methods);
  }

  std::shared_ptr<int> calls = std::make_shared<int>(0);
  std::shared_ptr<const AsyncApiInterface> api;
};

std::shared_ptr<const MethodIdentifier> Method(const std::string& api, const std::string& name) {
  return MethodIdentifier::GetInstance(Core::InterfaceIdentifier::GetInstance(api), name);
}

// Invokes `method` with the text `input`; returns the output text, or else the error's name.
std::string Call(LocalApiProvider& provider, std::shared_ptr<const MethodIdentifier> method,
                 std::vector<FrameworkReport>& reports, const std::string& input = "x") {
  reports.clear();
  provider.Invoke(std::move(method), Str(input), std::make_shared<Core::AsyncActivation>(),
                  RecordFramework(reports));
  EXPECT_EQ(reports.size(), 1u) << "answered inside Invoke";
  if (reports.empty() || reports[0].result == nullptr) return "";
  EXPECT_EQ(reports[0].progress, kFinalProgress);
  if (reports[0].result->error != nullptr) return std::string(reports[0].result->error->GetName());
  std::string text;
  MessageList messages;
  Data::DataValue::Value(reports[0].result->output, text, messages);
  return text;
}

// One provider: registration, routing, the answer for what is not there, and replacement.
TEST(LocalApiProviderTest, RoutesAmongRegisteredInterfacesAndAnswersTheRestWithAnError) {
  LocalApiProvider provider;
  Api a("com.example.a", {"get", "put"});
  Api b("com.example.b", {"get"});
  Api sameName("com.example.a", {"get"});
  EXPECT_FALSE(provider.Register(nullptr));
  EXPECT_FALSE(provider.Register(
      std::make_shared<const AsyncApiInterface>(nullptr, AsyncApiInterface::MethodList{})));
  EXPECT_TRUE(provider.Register(a.api));
  EXPECT_TRUE(provider.Register(b.api));
  EXPECT_FALSE(provider.Register(sameName.api));
  EXPECT_EQ(provider.Find("com.example.a"), a.api);
  std::vector<FrameworkReport> reports;
  EXPECT_EQ(Call(provider, Method("com.example.a", "put"), reports, "y"), "com.example.a.put(y)");
  EXPECT_EQ(Call(provider, Method("com.example.b", "get"), reports), "com.example.b.get(x)");

  struct Case {
    std::shared_ptr<const MethodIdentifier> method;
    std::string interfaceName, methodName;
  };
  const Case cases[] = {
      {Method("com.example.z", "get"), "com.example.z", "get"},
      {Method("com.example.a", "Get"), "com.example.a", "Get"},
      {MethodIdentifier::GetInstance(nullptr, "get"), "", "get"},
      {nullptr, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.interfaceName + "/" + c.methodName);
    EXPECT_EQ(Call(provider, c.method, reports), ErrorNames::kOperationNotFound);
    EXPECT_EQ(reports.at(0).result->output, nullptr);
    const MessageList messages = reports[0].result->error->GetMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].id, "quil.provider.operation.not.found");
    EXPECT_EQ(messages[0].args, (std::vector<std::string>{c.interfaceName, c.methodName}));
    EXPECT_EQ(messages[0].defaultMessage,
              "Interface " + c.interfaceName + " has no operation named \"" + c.methodName + "\".");
  }

  // An unregistered interface leaves the routing, and another of its name may take its place.
  EXPECT_TRUE(provider.Unregister("com.example.a"));
  EXPECT_FALSE(provider.Unregister("com.example.a"));
  EXPECT_EQ(Call(provider, Method("com.example.a", "put"), reports),
            ErrorNames::kOperationNotFound);
  ASSERT_TRUE(provider.Register(sameName.api));
  EXPECT_EQ(Call(provider, Method("com.example.a", "get"), reports), "com.example.a.get(x)");
  EXPECT_EQ(*a.calls, 1);
  EXPECT_EQ(*sameName.calls, 1);
}

// Two threads change the registry while a third routes: every change takes effect once, and
// (under the thread sanitizer) routing needs no lock.
TEST(LocalApiProviderTest, RoutesWhileOtherThreadsRegisterAndUnregister) {
  constexpr int kRounds = 200;
  LocalApiProvider provider;
  Api served("com.example.a", {"get"});
  ASSERT_TRUE(provider.Register(served.api));
  Api changing[] = {Api("com.example.b", {"get"}), Api("com.example.c", {"get"})};
  int changed[2] = {0, 0};
  std::vector<std::thread> changers;
  for (int which = 0; which < 2; ++which) {
    changers.emplace_back([&, which] {
      const std::string name = changing[which].api->GetIdentifier()->GetName();
      for (int round = 0; round < kRounds; ++round) {
        changed[which] += provider.Register(changing[which].api) && provider.Unregister(name);
      }
    });
  }
  std::vector<FrameworkReport> reports;
  int answered = 0;
  for (int round = 0; round < kRounds; ++round) {
    answered += Call(provider, Method("com.example.a", "get"), reports) == "com.example.a.get(x)";
  }
  for (std::thread& changer : changers) changer.join();
  EXPECT_EQ(answered, kRounds);
  EXPECT_EQ(changed[0], kRounds);
  EXPECT_EQ(changed[1], kRounds);
  EXPECT_EQ(provider.Registry().List().size(), 1u);
}

}  // namespace
}  // namespace Quil::ProviderTesting
