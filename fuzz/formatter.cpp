// The message template formatter on arbitrary templates and arguments (text objects with any
// bytes, zero-terminated texts, null pointers).
//
// Rendering never throws and fails only with the formatter's code 3. Rendering with argument
// texts renders the same text and records one text per argument: its rendering of "{1}". A
// template without braces renders as itself. A message renders as the formatter does.
//
// Input layout (FuzzedDataProvider): the argument texts from the front, the template is the rest;
// the argument count and kinds come from the back.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <system_error>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include <quil/format.h>
#include <quil/message.h>

namespace {

using Quil::Detail::format_arg;

[[noreturn]] void Fail(const char* what, const std::string& pattern) {
  std::fprintf(stderr, "formatter invariant broken: %s\n  template: %s\n", what, pattern.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  FuzzedDataProvider data(bytes, size);
  const std::size_t count = data.ConsumeIntegralInRange<std::size_t>(0, 4);
  std::vector<std::string> texts(count);
  std::vector<const char*> pointers(count);
  std::vector<format_arg> args;
  for (std::size_t i = 0; i < count; ++i) {
    texts[i] = data.ConsumeRandomLengthString(64);
    switch (data.ConsumeIntegralInRange<int>(0, 2)) {
      case 0:
        args.push_back(Quil::Detail::MakeFormatArg(texts[i]));
        break;
      case 1:
        pointers[i] = texts[i].c_str();
        args.push_back(Quil::Detail::MakeFormatArg(pointers[i]));
        break;
      default:
        pointers[i] = nullptr;
        args.push_back(Quil::Detail::MakeFormatArg(pointers[i]));
        break;
    }
  }
  const std::string pattern = data.ConsumeRemainingBytesAsString();
  // A width or precision of five digits or more renders that many bytes per placeholder, up to
  // 2 GiB, by design; such templates only slow the run down.
  std::size_t digits = 0;
  for (const char c : pattern) {
    digits = c >= '0' && c <= '9' ? digits + 1 : 0;
    if (digits >= 5) return -1;
  }

  std::error_code error;
  const std::string rendered = Quil::Detail::Format(pattern, args.data(), count, error);
  if (error && (error.value() != 3 || error.category() != Quil::GetFormatCategory())) {
    Fail("an error other than a missing argument", pattern);
  }
  if (!error && pattern.find_first_of("{}") == std::string::npos && rendered != pattern) {
    Fail("a template without placeholders changes", pattern);
  }

  std::vector<std::string> argTexts;
  const std::string withTexts =
      Quil::Detail::FormatWithArgTexts(pattern, args.data(), count, argTexts);
  if (withTexts != rendered) Fail("rendering with argument texts renders differently", pattern);
  if (argTexts.size() != count) Fail("not one argument text per argument", pattern);
  for (std::size_t i = 0; i < count; ++i) {
    std::error_code ignored;
    if (argTexts[i] != Quil::Detail::Format("{1}", &args[i], 1, ignored)) {
      Fail("an argument text is not the argument's rendering", pattern);
    }
  }

  if (count >= 2) {
    const Quil::BaseMessage message =
        Quil::MakeMessage("fuzz.message", pattern, texts[0], texts[1]);
    std::error_code ignored;
    const format_arg own[] = {Quil::Detail::MakeFormatArg(texts[0]),
                              Quil::Detail::MakeFormatArg(texts[1])};
    if (message.defaultMessage != Quil::Detail::Format(pattern, own, 2, ignored) ||
        message.args != std::vector<std::string>{texts[0], texts[1]}) {
      Fail("a message renders unlike the formatter", pattern);
    }
  }
  (void)Quil::Message<Quil::CoreTag>::DefaultMessageForId(pattern);
  return 0;
}
