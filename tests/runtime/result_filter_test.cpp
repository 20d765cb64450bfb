#include <quil/provider/result_filter.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <tavo/test/sample.h>

#include <quil/async_result.h>
#include <quil/base_message.h>
#include <quil/core/activation.h>
#include <quil/l10n/localizer.h>
#include <quil/stream_result.h>

#include "runtime/provider_recorders.h"

namespace Quil::ProviderTesting {
namespace {

namespace Sample = ::Com::Korvan::Tavo::Test::SampleSvc;
using Data::DataValuePtr;
using Data::ErrorValuePtr;
using Provider::AsyncApiMethod;
using Provider::AsyncApiMethodResultFilter;
using SummaryPtr = std::shared_ptr<const Sample::Summary>;

constexpr const char* kNotFound = "com.korvan.quil.std.errors.not_found";

std::shared_ptr<Core::AsyncActivation> NewActivation() {
  return std::make_shared<Core::AsyncActivation>();
}

SummaryPtr MakeSummary(std::string id, Sample::Color color) {
  auto summary = std::make_shared<Sample::Summary>();
  summary->id = std::move(id);
  summary->color = color;
  summary->device = "sata0:1";
  return summary;
}

DataValuePtr SummaryValue(std::string id, std::string color) {
  return Structure("com.korvan.tavo.test.sample.summary", {{"id", Text(std::move(id))},
                                                           {"color", Text(std::move(color))},
                                                           {"device", Text("sata0:1")}});
}

// The single final answer of an AsyncResult<R> over a result filter, delivering `value`.
template <typename R>
MethodReport AnswerTo(const R& value) {
  std::vector<MethodReport> answers;
  AsyncResult<R>(AsyncApiMethodResultFilter<R>(RecordMethod(answers), NewActivation()))(value);
  EXPECT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers.at(0).progress, kFinalProgress);
  EXPECT_FALSE(answers[0].continuation);  // an AsyncResult never continues a stream
  return answers[0];
}

void ExpectOutput(const MethodReport& answer, const DataValuePtr& expected) {
  ASSERT_NE(answer.output, nullptr);
  EXPECT_TRUE(Data::Equals(answer.output.get(), expected.get()))
      << Data::ToText(answer.output.get()) << " != " << Data::ToText(expected.get());
  EXPECT_EQ(answer.error, nullptr);
}

// A value that does not convert is the implementation's fault; its details stay inside.
void ExpectInternalServerError(const MethodReport& answer) {
  EXPECT_EQ(answer.output, nullptr);
  ASSERT_NE(answer.error, nullptr);
  EXPECT_EQ(answer.error->GetName(), "com.korvan.quil.std.errors.internal_server_error");
  EXPECT_TRUE(answer.error->GetMessages().empty());
}

TEST(ResultFilterTest, ConvertsEveryKindOfResult) {
  ExpectOutput(AnswerTo(Void{}), Data::VoidValue::GetInstance());
  auto list = Data::ListValue::GetInstance(Data::ListValue::Kind::LIST);
  list->Append(SummaryValue("cd-1", "RED"));
  list->Append(SummaryValue("cd-2", "BLUE"));
  ExpectOutput(AnswerTo(std::vector<SummaryPtr>{MakeSummary("cd-1", Sample::Color::RED),
                                                MakeSummary("cd-2", Sample::Color::BLUE)}),
               list);

  ExpectInternalServerError(AnswerTo(SummaryPtr()));
  ExpectInternalServerError(
      AnswerTo(std::vector<SummaryPtr>{MakeSummary("cd-1", Sample::Color::RED), nullptr}));
}

TEST(ResultFilterTest, ErrorsWin) {
  // An error value passes unchanged over a native error and a value; a native error alone is
  // rendered (here with the defaults: no locale); a null error is a final answer with neither
  // value nor error, passed as a (complete) progress.
  const ErrorValuePtr busy =
      Data::ErrorValue::GetInstance("com.korvan.quil.std.errors.resource_busy");
  const Data::NativeError native{
      kNotFound, {BaseMessage("com.example.vm.missing", "The VM vm-1 is missing.", {"vm-1"})}};
  std::vector<MethodReport> answers;
  AsyncApiMethodResultFilter<SummaryPtr>(RecordMethod(answers), NewActivation())(
      MakeSummary("cd-1", Sample::Color::RED), busy, native, kFinalProgress);
  AsyncApiMethodResultFilter<SummaryPtr>(RecordMethod(answers), NewActivation())(
      MakeSummary("cd-1", Sample::Color::RED), nullptr, native, kFinalProgress);
  AsyncResult<SummaryPtr>(
      AsyncApiMethodResultFilter<SummaryPtr>(RecordMethod(answers), NewActivation()))
      .error(nullptr);
  ASSERT_EQ(answers.size(), 3u);
  EXPECT_EQ(answers[0].error, busy);
  EXPECT_EQ(answers[1].output, nullptr);
  ASSERT_NE(answers[1].error, nullptr);
  EXPECT_EQ(answers[1].error->GetName(), kNotFound);
  EXPECT_EQ(answers[1].error->GetMessages(), native.messages);
  for (const MethodReport& answer : answers) {
    EXPECT_EQ(answer.output, nullptr);
    EXPECT_EQ(answer.progress, kFinalProgress);
  }
  EXPECT_EQ(answers[2].error, nullptr);
}

TEST(ResultFilterTest, ProgressPassesWithoutSpendingTheFilter) {
  // A complete progress is still a progress here; the filter stays open for the value.
  std::vector<MethodReport> answers;
  AsyncApiMethodResultFilter<std::string> filter(RecordMethod(answers), NewActivation());
  AsyncApiMethodResultFilter<std::string> earlier = filter;
  filter(boost::none, nullptr, boost::none, Progress{1, 4, 1});
  filter(boost::none, nullptr, boost::none, Progress{0, 4, 4});
  filter(std::string("cdrom-2"), nullptr, boost::none, kFinalProgress);
  ASSERT_EQ(answers.size(), 3u);
  EXPECT_EQ(answers[0].progress, (Progress{1, 4, 1}));
  EXPECT_EQ(answers[1].progress, (Progress{0, 4, 4}));
  EXPECT_EQ(answers[1].output, nullptr);
  ExpectOutput(answers[2], Text("cdrom-2"));

  // Spent: further answers and reports are dropped, also by copies made afterwards; a copy made
  // before the answer forwards its own.
  AsyncApiMethodResultFilter<std::string> later = filter;
  filter(std::string("again"), nullptr, boost::none, kFinalProgress);
  filter(boost::none, nullptr, boost::none, Progress{0, 4, 1});
  later(boost::none, Data::ErrorValue::GetInstance(kNotFound), boost::none, kFinalProgress);
  EXPECT_EQ(answers.size(), 3u);
  earlier(std::string("two"), nullptr, boost::none, kFinalProgress);
  ASSERT_EQ(answers.size(), 4u);
  ExpectOutput(answers[3], Text("two"));

  // The callback is taken out before it runs: an answer from inside it goes nowhere.
  int outer = 0;
  AsyncApiMethodResultFilter<std::string>* self = nullptr;
  AsyncApiMethodResultFilter<std::string> reentrant(
      AsyncApiMethod::ResultCb([&outer, &self](DataValuePtr, ErrorValuePtr, Progress,
                                               AsyncApiMethod::ResultCb::Continuation&&) {
        ++outer;
        (*self)(std::string("inner"), nullptr, boost::none, kFinalProgress);
      }),
      NewActivation());
  self = &reentrant;
  reentrant(std::string("outer"), nullptr, boost::none, kFinalProgress);
  EXPECT_EQ(outer, 1);
}

TEST(ResultFilterTest, StreamContinuationHandsOnTheNextResult) {
  using Stream = AsyncStreamResult<std::string>;
  std::vector<MethodReport> first;
  const auto activation = NewActivation();
  const Stream::Next stream = MakeOptionalPtr<Stream>(
      AsyncApiMethodResultFilter<std::string>(RecordMethod(first), activation));
  std::vector<Stream::Next> handedOn;
  (*stream)(std::string("a"), [&handedOn](Stream::Next next) { handedOn.push_back(next); });
  ASSERT_EQ(first.size(), 1u);
  ExpectOutput(first[0], Text("a"));
  ASSERT_TRUE(first[0].continuation);

  // The method's side ends the stream (the implementation gets an empty pointer) or asks for
  // more: a fresh stream result over a fresh filter on the next callback.
  first[0].continuation(nullptr);
  std::vector<MethodReport> second;
  first[0].continuation(std::make_shared<AsyncApiMethod::ResultCb>(RecordMethod(second)));
  ASSERT_EQ(handedOn.size(), 2u);
  EXPECT_EQ(handedOn[0], nullptr);
  ASSERT_NE(handedOn[1], nullptr);
  handedOn[1]->progress(Progress{0, 2, 1});
  (*handedOn[1])(std::string("b"));  // the last one: no continuation
  ASSERT_EQ(second.size(), 2u);
  EXPECT_EQ(second[0].progress, (Progress{0, 2, 1}));
  ExpectOutput(second[1], Text("b"));
  EXPECT_FALSE(second[1].continuation);
  EXPECT_EQ(first.size(), 1u);

  // The continuation goes on with converted values only.
  std::vector<MethodReport> failed;
  using SummaryStream = AsyncStreamResult<SummaryPtr>;
  (*MakeOptionalPtr<SummaryStream>(
      AsyncApiMethodResultFilter<SummaryPtr>(RecordMethod(failed), activation)))(
      SummaryPtr(), [](SummaryStream::Next) { FAIL() << "no stream after a failure"; });
  ASSERT_EQ(failed.size(), 1u);
  ExpectInternalServerError(failed[0]);
  EXPECT_FALSE(failed[0].continuation);
}

}  // namespace
}  // namespace Quil::ProviderTesting
