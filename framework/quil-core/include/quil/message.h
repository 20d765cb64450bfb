// Making messages: `MakeMessage` renders a default template with its arguments, and
// `Message<CoreTag>` takes the template from the framework's core message catalogue.
//
//   Quil::Message<Quil::CoreTag> m("quil.invoke.invalid.input", std::string("::Ns::Op"));
//   // m.id == "quil.invoke.invalid.input", m.args == {"::Ns::Op"}, m.defaultMessage rendered.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <quil/base_message.h>
#include <quil/export.h>
#include <quil/format.h>

namespace Quil {

namespace Detail {

// The views live until the end of MakeMessage's return statement, so their addresses stay valid.
template <typename... Views>
BaseMessage MakeMessageFromViews(std::string id, std::string_view pattern, const Views&... views) {
  std::vector<std::string> texts;
  std::string rendered;
  if constexpr (sizeof...(Views) == 0) {
    rendered = FormatWithArgTexts(pattern, nullptr, 0, texts);
  } else {
    const format_arg formatted[] = {MakeFormatArg(views)...};
    rendered = FormatWithArgTexts(pattern, formatted, sizeof...(Views), texts);
  }
  return BaseMessage(std::move(id), std::move(rendered), std::move(texts));
}

}  // namespace Detail

// Renders `defaultTemplate` with all arguments in one pass (a format error keeps the text
// rendered before it) and records each argument's plain text, its rendering of "{1}", exactly as
// `FormatImpl` and `AppendArg` would.
template <typename... Args>
BaseMessage MakeMessage(std::string id, std::string_view defaultTemplate, const Args&... args) {
  return Detail::MakeMessageFromViews(std::move(id), defaultTemplate, Detail::ArgView(args)...);
}

// Selects the core message catalogue of the framework.
struct CoreTag {};

template <typename Tag>
class Message : public BaseMessage {
 public:
  // The catalogue's template, unrendered, and no arguments.
  explicit Message(std::string id) : BaseMessage(Unrendered(std::move(id))) {}

  // Exactly MakeMessage(id, DefaultMessageForId(id), args...).
  template <typename First, typename... Rest>
  Message(std::string id, const First& first, const Rest&... rest)
      : BaseMessage(Rendered(std::move(id), first, rest...)) {}

  // The default template of a message identifier, from the catalogue that `Tag` selects.
  static std::string DefaultMessageForId(std::string_view id);

 private:
  static BaseMessage Unrendered(std::string id) {
    std::string text = DefaultMessageForId(id);
    return BaseMessage(std::move(id), std::move(text), {});
  }
  template <typename... Args>
  static BaseMessage Rendered(std::string id, const Args&... args) {
    std::string text = DefaultMessageForId(id);
    return MakeMessage(std::move(id), text, args...);
  }
};

template <>
QUIL_CORE_API std::string Message<CoreTag>::DefaultMessageForId(std::string_view id);

}  // namespace Quil
