// The localisable message record that every conversion, validation and framework check appends
// to a caller's list. Success of a step is judged by whether the list grew.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace Quil {

struct BaseMessage {
  BaseMessage(std::string id, std::string defaultMessage, std::vector<std::string> args)
      : id(std::move(id)), defaultMessage(std::move(defaultMessage)), args(std::move(args)) {}

  std::string id;                 // dotted lower case, for example "quil.data.invalid.type"
  std::string defaultMessage;     // rendered in the default language
  std::vector<std::string> args;  // plain text of each argument, in order

  friend bool operator==(const BaseMessage& a, const BaseMessage& b) {
    return a.id == b.id && a.defaultMessage == b.defaultMessage && a.args == b.args;
  }
  friend bool operator!=(const BaseMessage& a, const BaseMessage& b) { return !(a == b); }
};

using MessageList = std::vector<BaseMessage>;

}  // namespace Quil
