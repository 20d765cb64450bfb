// Pieces of JSON text shared by both directions of the mapping: UTF-8, string escapes, base64
// and the paths that messages name.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace Quil::Remote::Json::Detail {

// Whether `text` is well-formed UTF-8: no stray continuation bytes, overlong forms, surrogates
// or code points beyond U+10FFFF.
bool IsUtf8(std::string_view text);

// Appends `text` as a quoted JSON string, escaping quotes, backslashes and control characters.
// False, with `out` holding a partial text, when `text` is not UTF-8.
bool AppendQuoted(std::string& out, std::string_view text);

// Standard base64 with padding.
void AppendBase64(std::string& out, std::string_view bytes);
// Reads the one canonical base64 form of some bytes (padding required, no blanks, unused bits
// zero); false when `text` is anything else.
bool ReadBase64(std::string_view text, std::string& bytes);

// Path segments in the form messages use: "update_spec.count", "list[2].id".
void AppendFieldToPath(std::string& path, std::string_view field);
void AppendIndexToPath(std::string& path, std::size_t index);
// The path as a message shows it: "(root)" for the document itself.
std::string ShownPath(std::string path);

}  // namespace Quil::Remote::Json::Detail
