#include "refusal.h"

#include <string_view>

#include <quil/std/errors.h>

namespace Tavo::SimHost {
namespace {

namespace Errors = ::Com::Korvan::Quil::Std::Errors;

std::uint32_t Bit(Refusal::Kind kind) { return 1u << static_cast<unsigned>(kind); }

// The kind an error definition's name stands for; none for the errors the host never answers.
boost::optional<Refusal::Kind> KindOfError(std::string_view name) {
  if (name == Errors::Error::kWireName) return Refusal::Kind::kError;
  if (name == Errors::NotFound::kWireName) return Refusal::Kind::kNotFound;
  if (name == Errors::InvalidArgument::kWireName) return Refusal::Kind::kInvalidArgument;
  if (name == Errors::NotAllowedInCurrentState::kWireName) {
    return Refusal::Kind::kNotAllowedInCurrentState;
  }
  if (name == Errors::AlreadyExists::kWireName) return Refusal::Kind::kAlreadyExists;
  if (name == Errors::UnableToAllocateResource::kWireName) {
    return Refusal::Kind::kUnableToAllocateResource;
  }
  return boost::none;
}

template <typename E>
Quil::Data::ErrorValuePtr Make(const Quil::BaseMessage& message) {
  return Errors::ToErrorValue(Errors::MakeError<E>(message));
}

}  // namespace

std::string ClipArgument(std::string_view text) {
  constexpr std::size_t kLimit = 256;
  if (text.size() <= kLimit) return std::string(text);
  std::size_t cut = kLimit - 3;
  // Back off continuation bytes so that a UTF-8 character is not split.
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return std::string(text.substr(0, cut)) + "...";
}

DeclaredErrors::DeclaredErrors(const std::vector<Quil::Data::DataDefinitionPtr>& definitions) {
  for (const Quil::Data::DataDefinitionPtr& definition : definitions) {
    const auto* error = dynamic_cast<const Quil::Data::StructDefinition*>(definition.get());
    if (error == nullptr) continue;
    if (const auto kind = KindOfError(error->GetName())) declared_ |= Bit(*kind);
  }
}

bool DeclaredErrors::Declares(Refusal::Kind kind) const { return (declared_ & Bit(kind)) != 0; }

Quil::Data::ErrorValuePtr DeclaredErrors::ToErrorValue(const Refusal& refusal) const {
  const Refusal::Kind kind = Declares(refusal.kind) ? refusal.kind : Refusal::Kind::kError;
  switch (kind) {
    case Refusal::Kind::kNotFound:
      return Make<Errors::NotFound>(refusal.message);
    case Refusal::Kind::kInvalidArgument:
      return Make<Errors::InvalidArgument>(refusal.message);
    case Refusal::Kind::kNotAllowedInCurrentState:
      return Make<Errors::NotAllowedInCurrentState>(refusal.message);
    case Refusal::Kind::kAlreadyExists:
      return Make<Errors::AlreadyExists>(refusal.message);
    case Refusal::Kind::kUnableToAllocateResource:
      return Make<Errors::UnableToAllocateResource>(refusal.message);
    case Refusal::Kind::kError:
      break;
  }
  return Make<Errors::Error>(refusal.message);
}

}  // namespace Tavo::SimHost
