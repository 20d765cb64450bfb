#include <quil/provider/result_filter.h>

#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <tavo/test/sample.h>

#include <quil/async_result.h>
#include <quil/base_message.h>
#include <quil/core/activation.h>
#include <quil/l10n/localizer.h>
#include <quil/stream_result.h>

namespace Quil::Provider {
namespace {

namespace Sample = ::Com::Korvan::Tavo::Test::SampleSvc;
using Data::DataValuePtr;
using Data::ErrorValuePtr;
using SummaryPtr = std::shared_ptr<const Sample::Summary>;

constexpr const char* kInternalServerError = "com.korvan.quil.std.errors.internal_server_error";
constexpr const char* kNotFound = "com.korvan.quil.std.errors.not_found";

// What the method's result callback received in one call.
struct Answer {
  DataValuePtr output;
  ErrorValuePtr error;
  Progress progress;
  AsyncApiMethod::ResultCb::Continuation next;
};

AsyncApiMethod::ResultCb Recording(std::vector<Answer>& answers) {
  return AsyncApiMethod::ResultCb([&answers](DataValuePtr output, ErrorValuePtr error,
                                             Progress progress,
                                             AsyncApiMethod::ResultCb::Continuation&& next) {
    answers.push_back({std::move(output), std::move(error), progress, std::move(next)});
  });
}

std::shared_ptr<Core::AsyncActivation> NewActivation() {
  return std::make_shared<Core::AsyncActivation>();
}

DataValuePtr Text(std::string text) { return Data::DataValue::Create(text); }

SummaryPtr MakeSummary(std::string id, Sample::Color color) {
  auto summary = std::make_shared<Sample::Summary>();
  summary->id = std::move(id);
  summary->color = color;
  summary->device = "sata0:1";
  return summary;
}

DataValuePtr SummaryValue(std::string id, std::string color) {
  auto value = Data::StructValue::GetInstance("com.korvan.tavo.test.sample.summary");
  value->SetField("id", Text(std::move(id)));
  value->SetField("color", Text(std::move(color)));
  value->SetField("device", Text("sata0:1"));
  return value;
}

// The single final answer of an AsyncResult<R> over a result filter, delivering `value`.
template <typename R>
Answer AnswerTo(const R& value) {
  std::vector<Answer> answers;
  const AsyncResult<R> result(AsyncApiMethodResultFilter<R>(Recording(answers), NewActivation()));
  result(value);
  EXPECT_EQ(answers.size(), 1u);
  return answers.empty() ? Answer{} : answers.front();
}

void ExpectOutput(const Answer& answer, const DataValuePtr& expected) {
  ASSERT_NE(answer.output, nullptr);
  EXPECT_TRUE(Data::Equals(answer.output.get(), expected.get()))
      << Data::ToText(answer.output.get()) << " != " << Data::ToText(expected.get());
  EXPECT_EQ(answer.error, nullptr);
  EXPECT_EQ(answer.progress, kFinalProgress);
  EXPECT_FALSE(answer.next);  // an AsyncResult never continues a stream
}

void ExpectInternalServerError(const Answer& answer) {
  EXPECT_EQ(answer.output, nullptr);
  ASSERT_NE(answer.error, nullptr);
  EXPECT_EQ(answer.error->GetName(), kInternalServerError);
  EXPECT_TRUE(answer.error->GetMessages().empty());
  EXPECT_EQ(answer.progress, kFinalProgress);
  EXPECT_FALSE(answer.next);
}

TEST(ResultFilterTest, ConvertsEveryKindOfResult) {
  ExpectOutput(AnswerTo(Void{}), Data::VoidValue::GetInstance());
  ExpectOutput(AnswerTo(std::string("cdrom-1")), Text("cdrom-1"));
  ExpectOutput(AnswerTo(Sample::Color(Sample::Color::BLUE)), Text("BLUE"));
  ExpectOutput(AnswerTo(MakeSummary("cd-1", Sample::Color::GREEN)), SummaryValue("cd-1", "GREEN"));

  auto list = Data::ListValue::GetInstance(Data::ListValue::Kind::LIST);
  list->Append(SummaryValue("cd-1", "RED"));
  list->Append(SummaryValue("cd-2", "BLUE"));
  ExpectOutput(AnswerTo(std::vector<SummaryPtr>{MakeSummary("cd-1", Sample::Color::RED),
                                                MakeSummary("cd-2", Sample::Color::BLUE)}),
               list);
  ExpectOutput(AnswerTo(std::vector<SummaryPtr>{}),
               Data::ListValue::GetInstance(Data::ListValue::Kind::LIST));

  auto listResult = std::make_shared<Sample::ListResult>();
  listResult->list.push_back(MakeSummary("cd-1", Sample::Color::RED));
  auto listResultValue = Data::StructValue::GetInstance("com.korvan.tavo.test.sample.list_result");
  auto inner = Data::ListValue::GetInstance(Data::ListValue::Kind::LIST);
  inner->Append(SummaryValue("cd-1", "RED"));
  listResultValue->SetField("list", inner);
  ExpectOutput(AnswerTo(std::shared_ptr<const Sample::ListResult>(listResult)), listResultValue);

  // A value that does not convert is the implementation's fault; its details stay inside.
  ExpectInternalServerError(AnswerTo(SummaryPtr()));
  ExpectInternalServerError(
      AnswerTo(std::vector<SummaryPtr>{MakeSummary("cd-1", Sample::Color::RED), nullptr}));
  auto brokenResult = std::make_shared<Sample::ListResult>();
  brokenResult->list.push_back(nullptr);
  ExpectInternalServerError(AnswerTo(std::shared_ptr<const Sample::ListResult>(brokenResult)));
}

TEST(ResultFilterTest, ErrorsWinAndAreLocalisedWithTheActivation) {
  const Data::NativeError native{
      kNotFound, {BaseMessage("com.example.vm.missing", "The VM vm-1 is missing.", {"vm-1"})}};
  const auto errorOf = [&native](std::shared_ptr<Core::AsyncActivation> activation) {
    std::vector<Answer> answers;
    AsyncApiMethodResultFilter<SummaryPtr> filter(Recording(answers), std::move(activation));
    // A value given along with the error is ignored.
    filter(MakeSummary("cd-1", Sample::Color::RED), nullptr, native, kFinalProgress);
    EXPECT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers.at(0).output, nullptr);
    EXPECT_EQ(answers.at(0).progress, kFinalProgress);
    EXPECT_FALSE(answers.at(0).next);
    return answers.at(0).error;
  };
  const auto textOf = [&errorOf](std::shared_ptr<Core::AsyncActivation> activation) {
    const ErrorValuePtr error = errorOf(std::move(activation));
    EXPECT_EQ(error->GetName(), kNotFound);
    const MessageList messages = error->GetMessages();
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages.at(0).id, "com.example.vm.missing");
    EXPECT_EQ(messages.at(0).args, std::vector<std::string>{"vm-1"});
    return messages.at(0).defaultMessage;
  };

  auto localizer = std::make_shared<L10n::Localizer>();
  ASSERT_TRUE(localizer->AddTemplate("de", "com.example.vm.missing", "Die VM {1} fehlt."));
  std::error_code code;
  const auto german = std::make_shared<const L10n::LocaleSpec>(
      L10n::LocaleHelpers::MakeLanguagePreference("de_CH", code),
      L10n::LocaleHelpers::MakeLanguagePreference("C", code), L10n::TimezoneSpec("Etc/UTC"));
  ASSERT_FALSE(code);

  // Without a localizer, an empty one, or without a locale: the default request localizer.
  EXPECT_EQ(textOf(NewActivation()), "The VM vm-1 is missing.");
  EXPECT_EQ(textOf(std::make_shared<Core::AsyncActivation>(nullptr, german)),
            "The VM vm-1 is missing.");
  EXPECT_EQ(
      textOf(std::make_shared<Core::AsyncActivation>(std::make_shared<L10n::Localizer>(), german)),
      "The VM vm-1 is missing.");
  EXPECT_EQ(textOf(std::make_shared<Core::AsyncActivation>(localizer, nullptr)),
            "The VM vm-1 is missing.");
  EXPECT_EQ(textOf(std::make_shared<Core::AsyncActivation>(localizer, german)),
            "Die VM vm-1 fehlt.");

  // An error value passes unchanged, over a native error and over a value.
  const ErrorValuePtr busy =
      Data::ErrorValue::GetInstance("com.korvan.quil.std.errors.resource_busy");
  std::vector<Answer> answers;
  AsyncApiMethodResultFilter<SummaryPtr>(Recording(answers), NewActivation())(
      MakeSummary("cd-1", Sample::Color::RED), busy, native, kFinalProgress);
  AsyncResult<SummaryPtr>(
      AsyncApiMethodResultFilter<SummaryPtr>(Recording(answers), NewActivation()))
      .error(busy);
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(answers[0].error, busy);
  EXPECT_EQ(answers[0].output, nullptr);
  EXPECT_EQ(answers[1].error, busy);

  // A final answer with neither value nor error is no error: it passes as a (complete) progress.
  AsyncResult<SummaryPtr>(
      AsyncApiMethodResultFilter<SummaryPtr>(Recording(answers), NewActivation()))
      .error(nullptr);
  ASSERT_EQ(answers.size(), 3u);
  EXPECT_EQ(answers[2].output, nullptr);
  EXPECT_EQ(answers[2].error, nullptr);
  EXPECT_EQ(answers[2].progress, kFinalProgress);
}

TEST(ResultFilterTest, ProgressPassesWithoutSpendingTheFilter) {
  std::vector<Answer> answers;
  const AsyncResult<std::string> result(
      AsyncApiMethodResultFilter<std::string>(Recording(answers), NewActivation()));
  result.progress(Progress{1, 4, 1});
  result.progress(Progress{1, 4, 2});
  result(std::string("cdrom-1"));
  ASSERT_EQ(answers.size(), 3u);
  EXPECT_EQ(answers[0].progress, (Progress{1, 4, 1}));
  EXPECT_EQ(answers[0].output, nullptr);
  EXPECT_EQ(answers[0].error, nullptr);
  EXPECT_EQ(answers[1].progress, (Progress{1, 4, 2}));
  ExpectOutput(answers[2], Text("cdrom-1"));

  // A complete progress is still a progress here; the filter stays open for the value.
  answers.clear();
  AsyncApiMethodResultFilter<std::string> filter(Recording(answers), NewActivation());
  filter(boost::none, nullptr, boost::none, Progress{0, 4, 4});
  filter(std::string("cdrom-2"), nullptr, boost::none, kFinalProgress);
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(answers[0].progress, (Progress{0, 4, 4}));
  EXPECT_EQ(answers[0].output, nullptr);
  ExpectOutput(answers[1], Text("cdrom-2"));

  // Spent: further answers and reports are dropped, also by copies made afterwards.
  AsyncApiMethodResultFilter<std::string> later = filter;
  filter(std::string("again"), nullptr, boost::none, kFinalProgress);
  filter(boost::none, nullptr, boost::none, Progress{0, 4, 1});
  later(boost::none, Data::ErrorValue::GetInstance(kNotFound), boost::none, kFinalProgress);
  EXPECT_EQ(answers.size(), 2u);

  // A copy made before the answer forwards its own.
  AsyncApiMethodResultFilter<std::string> open(Recording(answers), NewActivation());
  AsyncApiMethodResultFilter<std::string> earlier = open;
  open(std::string("one"), nullptr, boost::none, kFinalProgress);
  earlier(std::string("two"), nullptr, boost::none, kFinalProgress);
  ASSERT_EQ(answers.size(), 4u);
  ExpectOutput(answers[3], Text("two"));

  // The callback is taken out before it runs: an answer from inside it goes nowhere.
  std::vector<Answer> outer;
  AsyncApiMethodResultFilter<std::string>* self = nullptr;
  AsyncApiMethodResultFilter<std::string> reentrant(
      AsyncApiMethod::ResultCb([&outer, &self](DataValuePtr output, ErrorValuePtr error,
                                               Progress progress,
                                               AsyncApiMethod::ResultCb::Continuation&&) {
        outer.push_back({std::move(output), std::move(error), progress, {}});
        (*self)(std::string("inner"), nullptr, boost::none, kFinalProgress);
      }),
      NewActivation());
  self = &reentrant;
  reentrant(std::string("outer"), nullptr, boost::none, kFinalProgress);
  ASSERT_EQ(outer.size(), 1u);
  EXPECT_TRUE(Data::Equals(outer[0].output.get(), Text("outer").get()));
}

TEST(ResultFilterTest, StreamContinuationHandsOnTheNextResult) {
  using Stream = AsyncStreamResult<std::string>;
  std::vector<Answer> first;
  const auto activation = NewActivation();
  const Stream::Next stream = MakeOptionalPtr<Stream>(
      AsyncApiMethodResultFilter<std::string>(Recording(first), activation));
  ASSERT_NE(stream, nullptr);
  EXPECT_FALSE(stream->callbacks().value);
  EXPECT_TRUE(stream->callbacks().stream);

  std::vector<Stream::Next> handedOn;
  const auto keepNext = [&handedOn](Stream::Next next) { handedOn.push_back(std::move(next)); };
  (*stream)(std::string("a"), keepNext);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_TRUE(Data::Equals(first[0].output.get(), Text("a").get()));
  EXPECT_EQ(first[0].progress, kFinalProgress);
  ASSERT_TRUE(first[0].next);

  // The method's side ends the stream: the implementation gets an empty pointer.
  first[0].next(nullptr);
  ASSERT_EQ(handedOn.size(), 1u);
  EXPECT_EQ(handedOn[0], nullptr);

  // Or asks for more: a fresh stream result over a fresh filter on the next callback.
  std::vector<Answer> second;
  first[0].next(std::make_shared<AsyncApiMethod::ResultCb>(Recording(second)));
  ASSERT_EQ(handedOn.size(), 2u);
  ASSERT_NE(handedOn[1], nullptr);
  EXPECT_FALSE(handedOn[1]->callbacks().value);
  handedOn[1]->progress(Progress{0, 2, 1});
  (*handedOn[1])(std::string("b"));  // the last one: no continuation
  ASSERT_EQ(second.size(), 2u);
  EXPECT_EQ(second[0].progress, (Progress{0, 2, 1}));
  EXPECT_TRUE(Data::Equals(second[1].output.get(), Text("b").get()));
  EXPECT_FALSE(second[1].next);
  EXPECT_EQ(first.size(), 1u);

  // The continuation goes on with converted values only.
  std::vector<Answer> failed;
  using SummaryStream = AsyncStreamResult<SummaryPtr>;
  const SummaryStream::Next summaries = MakeOptionalPtr<SummaryStream>(
      AsyncApiMethodResultFilter<SummaryPtr>(Recording(failed), activation));
  (*summaries)(SummaryPtr(), [](SummaryStream::Next) { FAIL() << "no stream after a failure"; });
  ASSERT_EQ(failed.size(), 1u);
  ExpectInternalServerError(failed[0]);
}

}  // namespace
}  // namespace Quil::Provider
