#include <quil/format.h>

#include <sstream>
#include <string>
#include <system_error>
#include <thread>
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
      // Plain text and doubled braces.
      {"", {}, ""},
      {"no braces at all: 100% plain", {}, "no braces at all: 100% plain"},
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

TEST(FormatTest, MissingArgumentStopsWithCodeThree) {
  EXPECT_EQ(Render("{2}", {"A"}).error, std::error_code(3, GetFormatCategory()));

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

TEST(FormatTest, SpecifiersArePrintfTextConversions) {
  for (const char* arg : {"ab", "abc"}) {
    const std::string text = arg;
    // Both writers, the zero-terminated one through a literal, agree.
    EXPECT_EQ(FormatImpl<1>::call("[{1:-6}]", arg), FormatImpl<1>::call("[{1:-6}]", text));
    EXPECT_EQ(FormatImpl<1>::call("[{1:.1}]", arg), "[a]");
    EXPECT_EQ(FormatImpl<1>::call("[{1:.1}]", text), "[a]");
  }
  EXPECT_EQ(FormatImpl<1>::call("[{1:-6}]", "ab"), "[ab    ]");
  EXPECT_EQ(FormatImpl<1>::call("[{1:10}]", "ab"), "[        ab]");
  EXPECT_EQ(FormatImpl<1>::call("[{1:-10}]", std::string("ab")), "[ab        ]");
  EXPECT_EQ(FormatImpl<1>::call("[{1:s}]", "ab"), "[ab]");
  EXPECT_EQ(FormatImpl<1>::call("[{1:}]", "ab"), "[ab]");
  EXPECT_EQ(FormatImpl<1>::call("[{:5.1}]", "ab"), "[    a]");
  EXPECT_EQ(FormatImpl<1>::call("[{1:.}]", "ab"), "[]");
  EXPECT_EQ(FormatImpl<1>::call("[{1:3}]", "abcdef"), "[abcdef]");
  // Plain characters after the conversion are printf's literal text.
  EXPECT_EQ(FormatImpl<1>::call("[{1:4s}]", "ab"), "[  abs]");
  // A 13-character specifier still fits with its 's'; a 14-character one loses it.
  EXPECT_EQ(FormatImpl<1>::call("[{1:.000000000001}]", "ab"), "[a]");
  EXPECT_EQ(FormatImpl<1>::call("[{1:.0000000000001}]", "ab"), "[ab]");
  // Specifiers that would make printf touch arguments never passed insert the text unchanged.
  for (const char* spec : {"n", "*", "l", "d", "s%", "%", "1$", "5%d", "h"}) {
    EXPECT_EQ(FormatImpl<1>::call(std::string("[{1:") + spec + "}]", "ab"), "[ab]") << spec;
  }
}

TEST(FormatTest, TextObjectsKeepZeroBytesOnlyWithoutSpecifier) {
  const std::string withZero("a\0b", 3);
  EXPECT_EQ(FormatImpl<1>::call("{1}", withZero), withZero);
  EXPECT_EQ(FormatImpl<1>::call("{1:s}", withZero), withZero);
  EXPECT_EQ(FormatImpl<1>::call("{1:3}", withZero), "  a");
  EXPECT_EQ(FormatImpl<1>::call("{1:-1}", withZero), "a");
  EXPECT_EQ(FormatImpl<1>::call("{1}", std::string()), "");
  EXPECT_EQ(FormatImpl<1>::call("[{1:2}]", std::string()), "[  ]");
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

TEST(FormatTest, FormatImplAndAppendArgBindEveryArgumentKind) {
  EXPECT_EQ(FormatImpl<1>::call("<{1}>", ""), "<>");
  EXPECT_EQ(FormatImpl<1>::call("<{1}>", "a literal of some length"), "<a literal of some length>");
  char buffer[] = "mutable";
  EXPECT_EQ(FormatImpl<1>::call("<{1}>", buffer), "<mutable>");
  const char* pointer = "pointer";
  EXPECT_EQ(FormatImpl<1>::call("<{1}>", pointer), "<pointer>");
  EXPECT_EQ(FormatImpl<3>::call("{3}|{2}|{1}", "x", std::string("yy"), ""), "|yy|x");
  EXPECT_EQ(FormatImpl<0>::call("{{plain}}"), "{plain}");

  std::vector<std::string> texts;
  AppendArg append{texts};
  append(std::string("text {1} object"));
  append("");
  append("lit");
  EXPECT_EQ(texts, (std::vector<std::string>{"text {1} object", "", "lit"}));
}

TEST(FormatCategoryTest, NamesMessagesAndOneSharedInstance) {
  // Asked first from several threads at once (when this test runs alone, that is the first use).
  std::vector<const std::error_category*> seen(8, nullptr);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&seen, i] { seen[i] = &GetFormatCategory(); });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  const std::error_category& category = GetFormatCategory();
  for (const std::error_category* instance : seen) {
    EXPECT_EQ(instance, &category);
  }

  EXPECT_STREQ(category.name(), "Quil Format Error");
  EXPECT_EQ(category.message(1), "Named argument not found.");
  EXPECT_EQ(category.message(2), "Empty Named specifier found.");
  EXPECT_EQ(category.message(3), "More specifiers than expected.");
  EXPECT_EQ(category.message(0), "format error");
  EXPECT_EQ(category.message(4), "format error");
  EXPECT_EQ(category.message(-1), "format error");
  // The inherited operations keep their standard meaning.
  EXPECT_EQ(category.default_error_condition(3), std::error_condition(3, category));
  EXPECT_NE(category, std::generic_category());
}

}  // namespace
}  // namespace Quil
