#include <quil/provider/api_provider.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <quil/l10n/localizer.h>

#include "runtime/executors.h"

namespace ApiProviderTest {
namespace {

using Quil::kFinalProgress;
using Quil::Progress;
using Quil::Core::AsyncActivation;
using Quil::Core::AsyncApiResultCb;
using Quil::Core::InterfaceIdentifier;
using Quil::Core::MethodIdentifier;
using Quil::Core::MethodResult;
using Quil::Core::MethodResultPtr;
using Quil::Data::DataValue;
using Quil::Data::DataValuePtr;
using Quil::Provider::AsyncApiInterface;
using Quil::Provider::AsyncApiMethod;
using Quil::Provider::LocalApiProvider;
using Quil::ProviderTesting::QueueExecutor;

// A provider method that answers with a text naming itself and the input it received, and
// remembers the thread and activation of its last invocation.
class EchoMethod final : public AsyncApiMethod {
 public:
  EchoMethod(std::string owner, std::string name)
      : owner_(std::move(owner)), name_(std::move(name)) {}

  const std::string& methodName() const override { return name_; }
  std::shared_ptr<Quil::Core::MethodDefinition> definition(
      const std::shared_ptr<const InterfaceIdentifier>& interfaceId) const override {
    return std::make_shared<Quil::Core::MethodDefinition>(
        MethodIdentifier::GetInstance(interfaceId, name_), nullptr, nullptr);
  }
  Quil::Data::DataDefinitionPtr inputDefinition() const override { return nullptr; }
  Quil::Data::DataDefinitionPtr outputDefinition() const override { return nullptr; }
  ErrorDefinitions errorDefinitions() override { return {}; }
  const ErrorDefinitions& errorDefinitions() const override { return errors_; }

  void Invoke(DataValuePtr input, std::shared_ptr<AsyncActivation> activation,
              const AsyncApiResultCb& callback) const override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      lastActivation_ = activation;
      lastThread_ = std::this_thread::get_id();
    }
    ++invocations;
    std::string text;
    Quil::MessageList messages;
    if (input != nullptr) DataValue::Value(input, text, messages);
    callback(
        MethodResult::Create(DataValue::Create(owner_ + "." + name_ + "(" + text + ")"), nullptr),
        kFinalProgress, nullptr);
  }

  std::shared_ptr<AsyncActivation> lastActivation() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastActivation_;
  }
  std::thread::id lastThread() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastThread_;
  }
  mutable std::atomic<int> invocations{0};

 private:
  mutable std::mutex mutex_;
  mutable std::shared_ptr<AsyncActivation> lastActivation_;
  mutable std::thread::id lastThread_;
  std::string owner_;
  std::string name_;
  ErrorDefinitions errors_;
};

struct Api {
  std::shared_ptr<const AsyncApiInterface> api;
  std::vector<std::shared_ptr<const EchoMethod>> methods;
};

Api MakeApi(const std::string& name, const std::vector<std::string>& methodNames) {
  Api result;
  AsyncApiInterface::MethodList methods;
  for (const auto& methodName : methodNames) {
    auto method = std::make_shared<const EchoMethod>(name, methodName);
    result.methods.push_back(method);
    methods.push_back(method);
  }
  result.api = AsyncApiInterface::GetInstance(InterfaceIdentifier::GetInstance(name), methods);
  return result;
}

std::shared_ptr<const MethodIdentifier> Method(const std::string& api, const std::string& name) {
  return MethodIdentifier::GetInstance(InterfaceIdentifier::GetInstance(api), name);
}

// Collects the final results it receives.
struct Answers {
  AsyncApiResultCb Callback() {
    return AsyncApiResultCb([this](MethodResultPtr result, Progress progress, auto) {
      std::lock_guard<std::mutex> lock(mutex);
      results.push_back(result);
      progresses.push_back(progress);
      threads.push_back(std::this_thread::get_id());
    });
  }
  std::string Output(std::size_t i) const {
    std::string text;
    Quil::MessageList messages;
    if (results.at(i) != nullptr) DataValue::Value(results[i]->output, text, messages);
    return text;
  }

  std::mutex mutex;
  std::vector<MethodResultPtr> results;
  std::vector<Progress> progresses;
  std::vector<std::thread::id> threads;
};

TEST(LocalApiProviderTest, RoutesByInterfaceAndMethodName) {
  LocalApiProvider provider;
  Api a = MakeApi("com.example.a", {"get", "put"});
  Api b = MakeApi("com.example.b", {"get"});
  EXPECT_TRUE(provider.Register(a.api));
  EXPECT_TRUE(provider.Register(b.api));

  Answers answers;
  auto activation = std::make_shared<AsyncActivation>();
  provider.Invoke(Method("com.example.a", "put"), DataValue::Create(std::string("x")), activation,
                  answers.Callback());
  provider.Invoke(Method("com.example.b", "get"), DataValue::Create(std::string("y")), nullptr,
                  answers.Callback());
  provider.Invoke(Method("com.example.a", "get"), nullptr, nullptr, answers.Callback());

  ASSERT_EQ(answers.results.size(), 3u) << "answered inside Invoke";
  EXPECT_EQ(answers.Output(0), "com.example.a.put(x)");
  EXPECT_EQ(answers.Output(1), "com.example.b.get(y)");
  EXPECT_EQ(answers.Output(2), "com.example.a.get()");
  EXPECT_EQ(a.methods[1]->lastActivation(), activation) << "the activation is passed on as it is";
  EXPECT_EQ(a.methods[0]->invocations, 1);
  EXPECT_EQ(b.methods[0]->invocations, 1);
  EXPECT_EQ(answers.threads[0], std::this_thread::get_id());
}

TEST(LocalApiProviderTest, UnknownInterfacesAndOperationsAreAnsweredWithAnError) {
  LocalApiProvider provider;
  Api a = MakeApi("com.example.a", {"get"});
  ASSERT_TRUE(provider.Register(a.api));

  struct Case {
    std::shared_ptr<const MethodIdentifier> method;
    std::string interfaceName;
    std::string methodName;
  };
  const Case cases[] = {
      {Method("com.example.z", "get"), "com.example.z", "get"},
      {Method("com.example.a", "delete"), "com.example.a", "delete"},
      {Method("com.example.a", "Get"), "com.example.a", "Get"},
      {MethodIdentifier::GetInstance(nullptr, "get"), "", "get"},
      {nullptr, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.interfaceName + "/" + c.methodName);
    Answers answers;
    provider.Invoke(c.method, nullptr, nullptr, answers.Callback());
    ASSERT_EQ(answers.results.size(), 1u);
    const MethodResultPtr& result = answers.results[0];
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->output, nullptr);
    EXPECT_EQ(answers.progresses[0], kFinalProgress);
    ASSERT_NE(result->error, nullptr);
    EXPECT_EQ(result->error->GetName(), "com.korvan.quil.std.errors.operation_not_found");
    const Quil::MessageList messages = result->error->GetMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].id, "quil.provider.operation.not.found");
    EXPECT_EQ(messages[0].args, (std::vector<std::string>{c.interfaceName, c.methodName}));
    EXPECT_EQ(messages[0].defaultMessage,
              "Interface " + c.interfaceName + " has no operation named \"" + c.methodName + "\".");
  }
  EXPECT_EQ(a.methods[0]->invocations, 0);

  // The text follows the caller's language when its activation can localise.
  auto localizer = std::make_shared<Quil::L10n::Localizer>();
  ASSERT_TRUE(localizer->AddTemplate("de", "quil.provider.operation.not.found",
                                     "Schnittstelle {1} kennt keine Operation \"{2}\"."));
  std::error_code error;
  auto german = std::make_shared<const Quil::L10n::LocaleSpec>(
      Quil::L10n::LocaleHelpers::MakeLanguagePreference("de_CH", error),
      Quil::L10n::LocaleHelpers::MakeLanguagePreference("C", error),
      Quil::L10n::TimezoneSpec("Europe/Zurich"));
  Answers answers;
  provider.Invoke(Method("com.example.z", "get"), nullptr,
                  std::make_shared<AsyncActivation>(localizer, german), answers.Callback());
  ASSERT_EQ(answers.results.size(), 1u);
  EXPECT_EQ(answers.results[0]->error->GetMessages().at(0).defaultMessage,
            "Schnittstelle com.example.z kennt keine Operation \"get\".");
}

TEST(LocalApiProviderTest, RegistrationRefusesASecondInterfaceOfTheSameName) {
  LocalApiProvider provider;
  Api first = MakeApi("com.example.a", {"get"});
  Api second = MakeApi("com.example.a", {"get"});

  EXPECT_FALSE(provider.Register(nullptr));
  EXPECT_FALSE(provider.Register(
      std::make_shared<const AsyncApiInterface>(nullptr, AsyncApiInterface::MethodList{})));
  EXPECT_EQ(provider.Find("com.example.a"), nullptr);

  EXPECT_TRUE(provider.Register(first.api));
  EXPECT_FALSE(provider.Register(second.api));
  EXPECT_EQ(provider.Find("com.example.a"), first.api);
  Answers answers;
  provider.Invoke(Method("com.example.a", "get"), nullptr, nullptr, answers.Callback());
  EXPECT_EQ(first.methods[0]->invocations, 1);
  EXPECT_EQ(second.methods[0]->invocations, 0);

  EXPECT_FALSE(provider.Unregister("com.example.b"));
  EXPECT_TRUE(provider.Unregister("com.example.a"));
  EXPECT_FALSE(provider.Unregister("com.example.a"));
  EXPECT_EQ(provider.Find("com.example.a"), nullptr);
  provider.Invoke(Method("com.example.a", "get"), nullptr, nullptr, answers.Callback());
  ASSERT_EQ(answers.results.size(), 2u);
  ASSERT_NE(answers.results[1]->error, nullptr);
  EXPECT_EQ(answers.results[1]->error->GetName(), LocalApiProvider::kOperationNotFound);

  // Unregistering makes room for a replacement.
  EXPECT_TRUE(provider.Register(second.api));
  provider.Invoke(Method("com.example.a", "get"), nullptr, nullptr, answers.Callback());
  EXPECT_EQ(second.methods[0]->invocations, 1);
}

TEST(LocalApiProviderTest, AnExecutorDeliversLaterOnItsOwnThread) {
  QueueExecutor executor;
  LocalApiProvider provider(executor.Executor());
  Api a = MakeApi("com.example.a", {"get"});
  ASSERT_TRUE(provider.Register(a.api));

  Answers answers;
  {
    auto callback = answers.Callback();
    provider.Invoke(Method("com.example.a", "get"), DataValue::Create(std::string("1")), nullptr,
                    callback);
    provider.Invoke(Method("com.example.z", "get"), nullptr, nullptr, callback);
  }  // the caller's callback is gone; the provider holds its own copy
  // The registry at the time of the call decides, even after unregistering.
  ASSERT_TRUE(provider.Unregister("com.example.a"));
  a.api.reset();
  EXPECT_EQ(executor.Pending(), 2u);
  EXPECT_TRUE(answers.results.empty()) << "not even the not-found answer comes at once";

  std::thread worker;
  executor.RunAllOn(worker);
  const std::thread::id workerId = worker.get_id();
  worker.join();
  ASSERT_EQ(answers.results.size(), 2u);
  EXPECT_EQ(answers.Output(0), "com.example.a.get(1)");
  EXPECT_EQ(answers.results[1]->error->GetName(), LocalApiProvider::kOperationNotFound);
  EXPECT_EQ(answers.threads[0], workerId);
  EXPECT_EQ(answers.threads[1], workerId);
  EXPECT_EQ(a.methods[0]->lastThread(), workerId);
}

TEST(LocalApiProviderTest, ServesSeveralThreadsWhileInterfacesComeAndGo) {
  LocalApiProvider provider;
  Api a = MakeApi("com.example.a", {"get"});
  ASSERT_TRUE(provider.Register(a.api));
  constexpr int kThreads = 4;
  constexpr int kCalls = 500;
  std::atomic<int> answered{0};
  std::atomic<bool> stop{false};

  std::thread churn([&] {
    Api other = MakeApi("com.example.other", {"get"});
    while (!stop) {
      provider.Register(other.api);
      provider.Unregister("com.example.other");
    }
  });
  std::vector<std::thread> callers;
  for (int t = 0; t < kThreads; ++t) {
    callers.emplace_back([&] {
      for (int i = 0; i < kCalls; ++i) {
        provider.Invoke(Method(i % 2 == 0 ? "com.example.a" : "com.example.other", "get"), nullptr,
                        nullptr, AsyncApiResultCb([&](MethodResultPtr result, Progress, auto) {
                          if (result != nullptr) ++answered;
                        }));
      }
    });
  }
  for (auto& caller : callers) caller.join();
  stop = true;
  churn.join();
  EXPECT_EQ(answered, kThreads * kCalls);
  EXPECT_EQ(a.methods[0]->invocations, kThreads * kCalls / 2);
}

}  // namespace
}  // namespace ApiProviderTest
