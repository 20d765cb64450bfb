#include <quil/format.h>

#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace Quil {
namespace {

struct Rendered {
  std::string text;
  std::error_code error;
};

// Renders with text-object arguments, any number of them, and keeps the error code.
Rendered Render(std::string_view pattern, const std::vector<std::string>& args = {}) {
  std::vector<Detail::format_arg> formatted;
  for (const std::string& arg : args) {
    formatted.push_back(Detail::MakeFormatArg(arg));
  }
  std::error_code error(0, std::system_category());
  std::string text = Detail::Format(pattern, formatted.data(), formatted.size(), error);
  return {std::move(text), error};
}

TEST(FormatTest, RendersPlaceholdersBracesAndTheTextBeforeAnError) {
  struct Case {
    std::string pattern;
    std::vector<std::string> args;
    std::string text;
    int error = 0;
  };
  const std::vector<Case> cases = {
      // By number and by counter; numbered placeholders advance the counter too.
      {"{1}", {"A"}, "A"},
      {"{} {}", {"A", "B"}, "A B"},
      {"{2} {1}", {"A", "B"}, "B A"},
      {"{0} {0}", {"A", "B"}, "A B"},
      {"{2} {}", {"A", "B"}, "B B"},
      {"{1}{1}{}", {"A", "B", "C"}, "AAC"},
      // Index parts read like an unsigned decimal: blanks, one sign, digits up to a non-digit.
      {"{ 2}", {"A", "B"}, "B"},
      {"{\t+2}", {"A", "B"}, "B"},
      {"{2x}", {"A", "B"}, "B"},
      {"{-0}{+}", {"A", "B"}, "AB"},
      {"{name}{}", {"A", "B"}, "AB"},
      {"{02}", {"A", "B"}, "B"},
      // Only the first 20 bytes count: twenty zeros read as 0, the trailing 2 is never seen.
      {"{000000000000000000002}", {"A", "B"}, "A"},
      {"{00000000000000000002}", {"A", "B"}, "B"},
      // 2^64 + 1 saturates rather than wrapping round to argument 1; a minus sign wraps round.
      {"{18446744073709551617}", {"A"}, "", 3},
      {"{-1}", {"A"}, "", 3},
      // Doubled braces (text without braces is the formatter fuzz target's).
      {"a{{b}}c", {}, "a{b}c"},
      {"{{{1}}}", {"A"}, "{A}"},
      {"{{}}{{1}}", {"A"}, "{}{1}"},
      {std::string("a\0b{1}c", 7), {"X"}, std::string("a\0bXc", 5)},
      // A missing argument stops the rendering.
      {"first {1}, second {2}, never", {"A"}, "first A, second ", 3},
      {"{} {} {}", {"A", "B"}, "A B ", 3},
      {"x{}", {}, "x", 3},
      // Unclosed and lone braces take the rest as a placeholder, further braces included.
      {"a{1", {"A"}, "aA"},
      {"a{", {"A"}, "aA"},
      {"{1}{", {"A", "B"}, "AB"},
      {"x{1:-4", {"A"}, "xA   "},
      {"x}", {"A"}, "xA"},
      {"x}2", {"A", "B"}, "xB"},
      {"{1}x}", {"A", "B"}, "AxB"},
      {"}2} tail {1}", {"A", "B"}, "B"},
      {"a}}b}", {"A"}, "a}bA"},
      {"x}", {}, "x", 3},
  };
  for (const Case& c : cases) {
    const Rendered rendered = Render(c.pattern, c.args);
    EXPECT_EQ(rendered.text, c.text) << c.pattern;
    EXPECT_EQ(rendered.error.value(), c.error) << c.pattern;
  }
}

// That an error is code 3 of the formatter's category is the formatter fuzz target's.
TEST(FormatTest, SuccessKeepsTheCallersCodeAndAnErrorKeepsThePartialText) {
  // Success leaves the caller's code untouched, whatever it was.
  const std::string arg = "A";
  const Detail::format_arg formatted[] = {Detail::MakeFormatArg(arg)};
  std::error_code error(7, std::generic_category());
  EXPECT_EQ(Detail::Format("{1}", formatted, 1, error), "A");
  EXPECT_EQ(error, std::error_code(7, std::generic_category()));

  // FormatTo keeps what the caller's stream held and what it wrote before the error.
  std::ostringstream out;
  out << "before:";
  Detail::FormatTo(out, "{1}{2}", formatted, 1, error);
  EXPECT_EQ(out.str(), "before:A");
  EXPECT_EQ(error, std::error_code(3, GetFormatCategory()));

  // The partial text is what FormatImpl returns; the code is dropped.
  EXPECT_EQ(FormatImpl<1>::call("{1} and {2}", "A"), "A and ");
}

TEST(FormatTest, SpecifiersArePrintfTextConversionsForEveryArgumentKind) {
  const std::string withZero("a\0b", 3);
  const std::pair<std::string, std::string> cases[][2] = {
      // {pattern, argument}, {text from a literal, text from a text object}
      {{"[{1:-6}]", "ab"}, {"[ab    ]", "[ab    ]"}},
      {{"[{1:.1}]", "abc"}, {"[a]", "[a]"}},
      {{"[{1:10}]", "ab"}, {"[        ab]", "[        ab]"}},
      {{"[{1:s}]", "ab"}, {"[ab]", "[ab]"}},
      {{"[{1:}]", "ab"}, {"[ab]", "[ab]"}},
      {{"[{:5.1}]", "ab"}, {"[    a]", "[    a]"}},
      {{"[{1:.}]", "ab"}, {"[]", "[]"}},
      {{"[{1:3}]", "abcdef"}, {"[abcdef]", "[abcdef]"}},
      {{"<{1}>", ""}, {"<>", "<>"}},
      {{"[{1:2}]", ""}, {"[  ]", "[  ]"}},
      // Plain characters after the conversion are printf's literal text.
      {{"[{1:4s}]", "ab"}, {"[  abs]", "[  abs]"}},
      // A 13-character specifier still fits with its 's'; a 14-character one loses it.
      {{"[{1:.000000000001}]", "ab"}, {"[a]", "[a]"}},
      {{"[{1:.0000000000001}]", "ab"}, {"[ab]", "[ab]"}},
      // Zero bytes in a text object survive only without a width or precision.
      {{"{1}", withZero}, {"a", withZero}},
      {{"{1:s}", withZero}, {"a", withZero}},
      {{"{1:3}", withZero}, {"  a", "  a"}},
      {{"{1:-1}", withZero}, {"a", "a"}},
  };
  for (const auto& [input, expected] : cases) {
    const auto& [pattern, arg] = input;
    EXPECT_EQ(FormatImpl<1>::call(pattern, arg.c_str()), expected.first) << pattern;
    EXPECT_EQ(FormatImpl<1>::call(pattern, arg), expected.second) << pattern;
  }
  // Specifiers that would make printf touch arguments never passed insert the text unchanged.
  for (const char* spec : {"n", "*", "l", "d", "s%", "%", "1$", "5%d", "h"}) {
    EXPECT_EQ(FormatImpl<1>::call(std::string("[{1:") + spec + "}]", "ab"), "[ab]") << spec;
  }
  char buffer[] = "mutable";
  EXPECT_EQ(FormatImpl<1>::call("<{1}>", buffer), "<mutable>");
  EXPECT_EQ(FormatImpl<3>::call("{3}|{2}|{1}", "x", std::string("yy"), ""), "|yy|x");
  EXPECT_EQ(FormatImpl<0>::call("{{plain}}"), "{plain}");
}

TEST(FormatTest, NullTextPointerFailsTheStream) {
  const char* null = nullptr;
  EXPECT_EQ(FormatImpl<1>::call("x{1}y", null), "x");
  EXPECT_EQ(FormatImpl<1>::call("x{1:5}y", null), "x");
  EXPECT_EQ(FormatImpl<3>::call("{2}{1}{3}", null, std::string("b"), "c"), "b");

  std::ostringstream out;
  const Detail::format_arg formatted[] = {Detail::MakeFormatArg(null)};
  std::error_code error;
  Detail::FormatTo(out, "x{1}y", formatted, 1, error);
  EXPECT_TRUE(out.fail());
  EXPECT_FALSE(out.bad());
  EXPECT_FALSE(error);
  EXPECT_EQ(out.str(), "x");
}

TEST(FormatTest, AppendArgKeepsTextsUnformatted) {
  std::vector<std::string> texts;
  AppendArg append{texts};
  append(std::string("text {1} object"));
  append("");
  EXPECT_EQ(texts, (std::vector<std::string>{"text {1} object", ""}));
}

TEST(FormatCategoryTest, NamesMessagesAndOneSharedInstance) {
  // Asked first from several threads at once (when this test runs alone, that is the first use).
  std::vector<const std::error_category*> seen(8, nullptr);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&seen, i] { seen[i] = &GetFormatCategory(); });
  }
  for (std::thread& thread : threads) thread.join();
  for (const std::error_category* instance : seen) EXPECT_EQ(instance, &GetFormatCategory());

  const std::error_category& category = GetFormatCategory();
  EXPECT_STREQ(category.name(), "Quil Format Error");
  const std::pair<int, const char*> messages[] = {{1, "Named argument not found."},
                                                  {2, "Empty Named specifier found."},
                                                  {3, "More specifiers than expected."},
                                                  {0, "format error"},
                                                  {4, "format error"}};
  for (const auto& [code, text] : messages) EXPECT_EQ(category.message(code), text) << code;
}

}  // namespace
}  // namespace Quil
