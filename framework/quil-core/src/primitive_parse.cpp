// DataValue::ToPrimitive: primitives from their text. Parsing is strict and independent of the
// process locale, so that a value means the same on every host.
#include <quil/data/value.h>

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>

#include <quil/message.h>

namespace Quil::Data {

namespace {

// The digits after an optional '+'; from_chars handles '-' itself but refuses '+'. Null when the
// text cannot be a number ("", "+", "+-1").
const char* SkipPlus(std::string_view text) {
  if (text.empty() || text.front() != '+') return text.data();
  if (text.size() == 1 || text[1] == '-') return nullptr;
  return text.data() + 1;
}

bool Parse(std::string_view text, std::int64_t& out) {
  const char* first = SkipPlus(text);
  const char* last = text.data() + text.size();
  if (first == nullptr || first == last) return false;
  std::int64_t value = 0;
  auto [end, error] = std::from_chars(first, last, value, 10);
  if (error != std::errc() || end != last) return false;  // overflow, garbage, blanks
  out = value;
  return true;
}

bool Parse(std::string_view text, double& out) {
  const char* first = SkipPlus(text);
  const char* last = text.data() + text.size();
  if (first == nullptr || first == last) return false;
  double value = 0;
  auto [end, error] = std::from_chars(first, last, value, std::chars_format::general);
  if (error != std::errc() || end != last) return false;
  out = value;
  return true;
}

bool Parse(std::string_view text, bool& out) {
  if (text == "true") {
    out = true;
  } else if (text == "false") {
    out = false;
  } else {
    return false;
  }
  return true;
}

bool Parse(std::string_view text, std::string& out) {
  out.assign(text);
  return true;
}

bool Parse(std::string_view text, Void& out) {
  out = Void{};
  return text.empty();
}

template <typename T>
bool FromText(const DataValuePtr& value, DataType target, T& out, MessageList& messages) {
  if (!value || value->GetType() != DataType::STRING) {
    return DataValue::Value(value, out, messages);
  }
  const std::string_view text = static_cast<const StringValue&>(*value).GetValue();
  if (Parse(text, out)) return true;
  messages.push_back(
      Message<CoreTag>("quil.data.primitive.parse", std::string(text), std::string(target.Name())));
  return false;
}

}  // namespace

template <>
bool DataValue::ToPrimitive(const DataValuePtr& value, std::int64_t& out, MessageList& messages) {
  return FromText(value, DataType::INTEGER, out, messages);
}
template <>
bool DataValue::ToPrimitive(const DataValuePtr& value, bool& out, MessageList& messages) {
  return FromText(value, DataType::BOOLEAN, out, messages);
}
template <>
bool DataValue::ToPrimitive(const DataValuePtr& value, std::string& out, MessageList& messages) {
  return FromText(value, DataType::STRING, out, messages);
}
template <>
bool DataValue::ToPrimitive(const DataValuePtr& value, double& out, MessageList& messages) {
  return FromText(value, DataType::DOUBLE, out, messages);
}
template <>
bool DataValue::ToPrimitive(const DataValuePtr& value, Void& out, MessageList& messages) {
  return FromText(value, DataType::VOID, out, messages);
}

}  // namespace Quil::Data
