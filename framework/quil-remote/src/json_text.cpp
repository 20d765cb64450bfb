#include "json_text.h"

#include <array>
#include <cstdint>

namespace Quil::Remote::Json::Detail {

namespace {

// The length of the UTF-8 sequence starting at `at`, or 0 when none starts there.
std::size_t SequenceLength(std::string_view text, std::size_t at) {
  const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return 1;
  std::size_t length;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF
  } else {
    return 0;
  }
  if (text.size() - at < length) return 0;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
  }
  return length;
}

constexpr std::string_view kBase64Alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<std::int8_t, 256> Base64Digits() {
  std::array<std::int8_t, 256> digits{};
  for (auto& digit : digits) digit = -1;
  for (std::size_t i = 0; i < kBase64Alphabet.size(); ++i) {
    digits[static_cast<unsigned char>(kBase64Alphabet[i])] = static_cast<std::int8_t>(i);
  }
  return digits;
}

constexpr std::array<std::int8_t, 256> kBase64Digits = Base64Digits();

}  // namespace

bool IsUtf8(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size()) {
    if (static_cast<unsigned char>(text[at]) < 0x80) {
      ++at;
      continue;
    }
    const std::size_t length = SequenceLength(text, at);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

bool AppendQuoted(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  std::size_t copied = 0;  // text before this offset is already in `out`
  std::size_t at = 0;
  while (at < text.size()) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte >= 0x80) {
      const std::size_t length = SequenceLength(text, at);
      if (length == 0) return false;
      at += length;
      continue;
    }
    if (byte >= 0x20 && byte != '"' && byte != '\\') {
      ++at;
      continue;
    }
    out.append(text, copied, at - copied);
    switch (byte) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      default:
        out += "\\u00";
        out += kHex[byte >> 4];
        out += kHex[byte & 0xF];
    }
    copied = ++at;
  }
  out.append(text, copied, text.size() - copied);
  out += '"';
  return true;
}

void AppendBase64(std::string& out, std::string_view bytes) {
  out.reserve(out.size() + (bytes.size() + 2) / 3 * 4);
  std::size_t at = 0;
  for (; at + 3 <= bytes.size(); at += 3) {
    const std::uint32_t group =
        static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) << 16 |
        static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
        static_cast<unsigned char>(bytes[at + 2]);
    out += kBase64Alphabet[group >> 18];
    out += kBase64Alphabet[(group >> 12) & 0x3F];
    out += kBase64Alphabet[(group >> 6) & 0x3F];
    out += kBase64Alphabet[group & 0x3F];
  }
  const std::size_t rest = bytes.size() - at;
  if (rest == 0) return;
  std::uint32_t group = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) << 16;
  if (rest == 2)
    group |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8;
  out += kBase64Alphabet[group >> 18];
  out += kBase64Alphabet[(group >> 12) & 0x3F];
  out += rest == 2 ? kBase64Alphabet[(group >> 6) & 0x3F] : '=';
  out += '=';
}

bool ReadBase64(std::string_view text, std::string& bytes) {
  if (text.size() % 4 != 0) return false;
  std::size_t padding = 0;
  while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == '=') {
    ++padding;
  }
  bytes.clear();
  bytes.reserve(text.size() / 4 * 3);
  std::uint32_t group = 0;
  const std::size_t digits = text.size() - padding;
  for (std::size_t i = 0; i < digits; ++i) {
    const std::int8_t digit = kBase64Digits[static_cast<unsigned char>(text[i])];
    if (digit < 0) return false;
    group = group << 6 | static_cast<std::uint32_t>(digit);
    if (i % 4 == 3) {
      bytes += static_cast<char>(group >> 16);
      bytes += static_cast<char>(group >> 8);
      bytes += static_cast<char>(group);
      group = 0;
    }
  }
  // The last group: three digits carry two bytes, two digits one; the bits left over are zero.
  if (padding == 1) {
    if ((group & 0x3) != 0) return false;
    bytes += static_cast<char>(group >> 10);
    bytes += static_cast<char>(group >> 2);
  } else if (padding == 2) {
    if ((group & 0xF) != 0) return false;
    bytes += static_cast<char>(group >> 4);
  }
  return true;
}

void AppendFieldToPath(std::string& path, std::string_view field) {
  if (!path.empty()) path += '.';
  path += field;
}

void AppendIndexToPath(std::string& path, std::size_t index) {
  path += '[';
  path += std::to_string(index);
  path += ']';
}

std::string ShownPath(std::string path) { return path.empty() ? std::string("(root)") : path; }

}  // namespace Quil::Remote::Json::Detail
