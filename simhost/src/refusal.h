// Why the host refuses a call, and how a refusal becomes an error its operation declares.
//
// The rules of the inventory say what is wrong and which standard error fits; the operation's
// declared errors (read once from its method class) decide whether that error may be answered.
// When it may not, the refusal is answered as `Error` with the same message, which every
// operation of the catalogue declares.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include <boost/optional.hpp>

#include <quil/base_message.h>
#include <quil/data/definition.h>
#include <quil/data/value.h>
#include <quil/message.h>

namespace Tavo::SimHost {

struct Refusal {
  enum class Kind {
    kError,
    kNotFound,
    kInvalidArgument,
    kNotAllowedInCurrentState,
    kAlreadyExists,
    kUnableToAllocateResource,
  };

  Kind kind;
  Quil::BaseMessage message;
};

// None when the rule allows what was asked.
using Verdict = boost::optional<Refusal>;

// `text` cut to at most 256 bytes, on a character boundary, marked with "..." when cut: names
// come from callers, and a refusal quotes them (its text and its arguments), so that a huge name
// would make an answer several times the size of its request.
std::string ClipArgument(std::string_view text);

// A refusal of `kind` whose message renders `defaultTemplate` with the arguments, texts clipped.
template <typename... Args>
Refusal Refuse(Refusal::Kind kind, std::string id, std::string_view defaultTemplate,
               const Args&... args) {
  [[maybe_unused]] const auto clip = [](const auto& arg) -> decltype(auto) {
    if constexpr (std::is_convertible_v<decltype(arg), std::string_view>) {
      return ClipArgument(arg);
    } else {
      return arg;
    }
  };
  return Refusal{kind, Quil::MakeMessage(std::move(id), defaultTemplate, clip(args)...)};
}

class DeclaredErrors {
 public:
  // The errors that the method class M declares.
  template <typename M>
  static DeclaredErrors Of() {
    return DeclaredErrors(M::errorDefs());
  }

  bool Declares(Refusal::Kind kind) const;

  // The error value answering `refusal`: of the refusal's kind when declared, else `Error`.
  Quil::Data::ErrorValuePtr ToErrorValue(const Refusal& refusal) const;

 private:
  explicit DeclaredErrors(const std::vector<Quil::Data::DataDefinitionPtr>& definitions);

  std::uint32_t declared_ = 0;  // one bit per Refusal::Kind
};

}  // namespace Tavo::SimHost
