// The message template formatter: numbered placeholders "{1}", automatic ones "{}", doubled
// braces, and printf-style specifiers for text ("{1:-10}", "{1:.3}").
//
// Templates only turn arguments into `format_arg`s; all parsing happens in one non-template
// function, `Detail::FormatTo`. The only failure is a placeholder that selects a missing argument:
// error code 3 of `GetFormatCategory()`, with the text rendered before it kept. Nothing throws
// for a format error.
//
//   Quil::FormatImpl<3>::call("{2} {} {1}", a, b, c);  // b, then b again, then a
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <quil/export.h>

namespace Quil {

// The error category of the formatter. Its one instance is made on first use, thread-safely,
// and destroyed at exit.
class QUIL_CORE_API FormatCategory final : public std::error_category {
 public:
  ~FormatCategory() override;
  const char* name() const noexcept override;    // "Quil Format Error"
  std::string message(int code) const override;  // 1, 2, 3, else "format error"
};

QUIL_CORE_API const std::error_category& GetFormatCategory();

namespace Detail {

// Writes one argument: (stream, specifier, untyped pointer to the argument).
using FormatFunction = void (*)(std::ostream&, std::string_view, const void*);

struct format_arg {
  const void* value;  // points to a `const char*` or to a `std::string`
  FormatFunction format;
};

// The writer of each argument type: zero-terminated text and text objects.
template <typename T>
struct formatter;

// Empty specifier or "s": the text unchanged. Otherwise the specifier is a printf conversion of
// a text without its '%' and 's' ("-10", ".3"); one that would not form a single text conversion
// ("n", "*", "l", longer than 13 characters) inserts the text unchanged. A null pointer fails the
// stream, whatever the specifier.
template <>
struct QUIL_CORE_API formatter<const char*> {
  static void format(std::ostream& out, std::string_view spec, const void* value);
};
// Empty specifier or "s": every byte, zero bytes included. Otherwise as the zero-terminated
// text, so the text ends at its first zero byte.
template <>
struct QUIL_CORE_API formatter<std::string> {
  static void format(std::ostream& out, std::string_view spec, const void* value);
};

// Renders `pattern` into `out`. A placeholder that selects a missing argument sets `error` to
// (3, GetFormatCategory()) and stops; what was written so far stays. Otherwise `error` is left
// as the caller set it.
QUIL_CORE_API void FormatTo(std::ostream& out, std::string_view pattern, const format_arg* args,
                            std::size_t count, std::error_code& error);

// FormatTo into a fresh text, returned also when an error stopped the rendering.
QUIL_CORE_API std::string Format(std::string_view pattern, const format_arg* args,
                                 std::size_t count, std::error_code& error);

// Renders `pattern` with all arguments as Format does, and appends to `texts` each argument's
// plain text, its rendering of "{1}" alone. Format errors are ignored: the partial text stays.
QUIL_CORE_API std::string FormatWithArgTexts(std::string_view pattern, const format_arg* args,
                                             std::size_t count, std::vector<std::string>& texts);

// `format_arg::value` points to the object itself, so the object must outlive the rendering.
inline format_arg MakeFormatArg(const char* const& text) {
  return {&text, &formatter<const char*>::format};
}
inline format_arg MakeFormatArg(const std::string& text) {
  return {&text, &formatter<std::string>::format};
}

// What a caller's argument is rendered from: a string literal of any length (or a char pointer)
// becomes a pointer to its first character, a text object stays itself.
inline const char* ArgView(const char* text) { return text; }
inline const std::string& ArgView(const std::string& text) { return text; }

// Takes the views by reference: a pointer made from a literal is a temporary of the caller's
// full expression, so it lives until the rendering is done.
template <typename... Views>
std::string FormatViews(std::string_view pattern, const Views&... views) {
  std::error_code error(0, std::system_category());
  if constexpr (sizeof...(Views) == 0) {
    return Format(pattern, nullptr, 0, error);
  } else {
    const format_arg formatted[] = {MakeFormatArg(views)...};
    return Format(pattern, formatted, sizeof...(Views), error);
  }
}

}  // namespace Detail

// Renders a template with N arguments; format errors are ignored and the partial text returned.
template <std::size_t N>
struct FormatImpl {
  template <typename... Args>
  static std::string call(std::string_view pattern, const Args&... args) {
    static_assert(sizeof...(Args) == N, "FormatImpl<N> takes N arguments");
    return Detail::FormatViews(pattern, Detail::ArgView(args)...);
  }
};

// Appends an argument's plain text, its rendering of "{1}", to a list.
struct AppendArg {
  std::vector<std::string>& texts;

  template <typename T>
  void operator()(const T& arg) const {
    texts.push_back(FormatImpl<1>::call("{1}", arg));
  }
};

}  // namespace Quil
