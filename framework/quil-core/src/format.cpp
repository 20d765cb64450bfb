#include <quil/format.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <streambuf>

namespace Quil {

namespace {

constexpr int kMoreSpecifiersThanExpected = 3;

// Reads a placeholder's index part as strtoull would in base 10, from at most its first 20 bytes:
// white space, one sign (minus negates modulo 2^64), digits; saturates at 2^64-1; no digits give 0.
std::uint64_t ParseIndex(std::string_view text) {
  constexpr std::size_t kMaxBytes = 20;
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  text = text.substr(0, kMaxBytes);
  std::size_t pos = 0;
  while (pos < text.size() && (text[pos] == ' ' || (text[pos] >= '\t' && text[pos] <= '\r'))) {
    ++pos;
  }
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  std::uint64_t value = 0;
  bool overflow = false;
  for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
    const auto digit = static_cast<std::uint64_t>(text[pos] - '0');
    if (value > (kMax - digit) / 10) {
      overflow = true;
    } else {
      value = value * 10 + digit;
    }
  }
  if (overflow) {
    return kMax;
  }
  return negative ? std::uint64_t{0} - value : value;
}

// True when `conversion` is one printf conversion of a text ('%', flags, width, precision, 's')
// followed by plain characters only. Anything else ("*", "n", "l", a second '%') would make printf
// read or write arguments that were never passed.
bool IsSingleTextConversion(const char* conversion) {
  const char* p = conversion + 1;
  while (*p != '\0' && std::strchr("-+ #0", *p) != nullptr) {
    ++p;
  }
  while (*p >= '0' && *p <= '9') {
    ++p;
  }
  if (*p == '.') {
    ++p;
    while (*p >= '0' && *p <= '9') {
      ++p;
    }
  }
  if (*p != 's') {
    return false;
  }
  return std::strchr(p + 1, '%') == nullptr;
}

// Appends everything written to the stream to one text, with no buffer of its own.
class StringAppender final : public std::streambuf {
 public:
  void SetTarget(std::string* text) { text_ = text; }

 protected:
  std::streamsize xsputn(const char* bytes, std::streamsize count) override {
    text_->append(bytes, static_cast<std::size_t>(count));
    return count;
  }
  int_type overflow(int_type ch) override {
    if (!traits_type::eq_int_type(ch, traits_type::eof())) {
      text_->push_back(traits_type::to_char_type(ch));
    }
    return traits_type::not_eof(ch);
  }

 private:
  std::string* text_ = nullptr;
};

// Renders into fresh texts through one stream. Making a stream costs more than a short rendering
// (its constructor looks up locale facets), and a cleared stream is as good as a fresh one: the
// writers change nothing but its state.
class TextRenderer {
 public:
  TextRenderer() : out_(&appender_) {
    // A failed allocation while appending propagates instead of quietly ending the text.
    out_.exceptions(std::ios_base::badbit);
  }

  std::string Render(std::string_view pattern, const Detail::format_arg* args, std::size_t count,
                     std::error_code& error) {
    std::string text;
    appender_.SetTarget(&text);
    out_.clear();
    Detail::FormatTo(out_, pattern, args, count, error);
    appender_.SetTarget(nullptr);
    return text;
  }

 private:
  StringAppender appender_;
  std::ostream out_;
};

}  // namespace

FormatCategory::~FormatCategory() = default;

const char* FormatCategory::name() const noexcept { return "Quil Format Error"; }

std::string FormatCategory::message(int code) const {
  switch (code) {
    case 1:
      return "Named argument not found.";
    case 2:
      return "Empty Named specifier found.";
    case 3:
      return "More specifiers than expected.";
    default:
      return "format error";
  }
}

const std::error_category& GetFormatCategory() {
  static const FormatCategory category;
  return category;
}

namespace Detail {

void formatter<const char*>::format(std::ostream& out, std::string_view spec, const void* value) {
  const char* text = *static_cast<const char* const*>(value);
  if (text == nullptr) {
    out.setstate(std::ios_base::failbit);
    return;
  }
  if (spec.empty() || spec == "s") {
    out << text;
    return;
  }
  // At most 15 characters: a specifier longer than 13 loses the final 's' and is refused below.
  char conversion[16];
  const int specLength = static_cast<int>(std::min<std::size_t>(spec.size(), sizeof conversion));
  std::snprintf(conversion, sizeof conversion, "%%%.*ss", specLength, spec.data());
  if (!IsSingleTextConversion(conversion)) {
    out << text;
    return;
  }
  const int length = std::snprintf(nullptr, 0, conversion, text);
  if (length < 0) {  // the width or precision does not fit printf's int
    out << text;
    return;
  }
  const auto size = static_cast<std::size_t>(length);
  const std::unique_ptr<char[]> rendered(new char[size + 1]());
  std::snprintf(rendered.get(), size + 1, conversion, text);
  out.write(rendered.get(), static_cast<std::streamsize>(size));
}

void formatter<std::string>::format(std::ostream& out, std::string_view spec, const void* value) {
  const auto& text = *static_cast<const std::string*>(value);
  if (spec.empty() || spec == "s") {
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return;
  }
  const char* zeroTerminated = text.c_str();
  formatter<const char*>::format(out, spec, &zeroTerminated);
}

void FormatTo(std::ostream& out, std::string_view pattern, const format_arg* args,
              std::size_t count, std::error_code& error) {
  const std::size_t end = pattern.size();
  std::size_t pos = 0;
  std::size_t automatic = 0;
  while (pos < end) {
    const char brace = pattern[pos];
    if (brace != '{' && brace != '}') {
      // A plain loop: find_first_of would search the two braces once per byte.
      std::size_t next = pos + 1;
      while (next < end && pattern[next] != '{' && pattern[next] != '}') {
        ++next;
      }
      out.write(pattern.data() + pos, static_cast<std::streamsize>(next - pos));
      pos = next;
      continue;
    }
    if (pos + 1 < end && pattern[pos + 1] == brace) {
      out.put(brace);
      pos += 2;
      continue;
    }

    // A placeholder. A lone closing brace, or an opening one never closed, takes the rest of
    // the template as its content.
    const std::size_t contentBegin = pos + 1;
    std::size_t contentEnd = end;
    std::size_t next = end;
    if (brace == '{') {
      const std::size_t close = pattern.find('}', contentBegin);
      if (close != std::string_view::npos) {
        contentEnd = close;
        next = close + 1;
      }
    }
    const std::string_view content = pattern.substr(contentBegin, contentEnd - contentBegin);
    const std::size_t colon = content.find(':');
    const std::string_view indexPart = content.substr(0, colon);
    const std::string_view spec =
        colon == std::string_view::npos ? std::string_view() : content.substr(colon + 1);

    const std::uint64_t number = ParseIndex(indexPart);
    const std::uint64_t selected = number == 0 ? automatic : number - 1;
    if (selected >= count) {
      error.assign(kMoreSpecifiersThanExpected, GetFormatCategory());
      return;
    }
    ++automatic;
    const format_arg& arg = args[selected];
    arg.format(out, spec, arg.value);
    pos = next;
  }
}

std::string Format(std::string_view pattern, const format_arg* args, std::size_t count,
                   std::error_code& error) {
  return TextRenderer().Render(pattern, args, count, error);
}

std::string FormatWithArgTexts(std::string_view pattern, const format_arg* args, std::size_t count,
                               std::vector<std::string>& texts) {
  TextRenderer renderer;
  std::error_code ignored(0, std::system_category());
  std::string rendered = renderer.Render(pattern, args, count, ignored);
  texts.reserve(texts.size() + count);
  for (std::size_t i = 0; i < count; ++i) {
    texts.push_back(renderer.Render("{1}", args + i, 1, ignored));
  }
  return rendered;
}

}  // namespace Detail

}  // namespace Quil
