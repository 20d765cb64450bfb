#include <quil/provider/service_facts.h>

#include <utility>

namespace Quil::Provider {
namespace {

constexpr std::string_view kUnknown = "_UNKNOWN";

const EnumeratedMember* FindMember(const std::vector<EnumeratedMember>& members,
                                   std::string_view owner, std::string_view member) {
  for (const EnumeratedMember& candidate : members) {
    if (candidate.owner == owner && candidate.member == member) return &candidate;
  }
  return nullptr;
}

}  // namespace

EnumerationFacts::EnumerationFacts(std::string enumerationName, const char* const* table)
    : name(std::move(enumerationName)) {
  for (const char* const* text = table; text != nullptr && *text != nullptr; ++text) {
    if (*text != kUnknown) values.emplace_back(*text);
  }
}

const EnumerationFacts* ServiceFacts::FindEnumeration(std::string_view name) const {
  for (const EnumerationFacts& enumeration : enumerations) {
    if (enumeration.name == name) return &enumeration;
  }
  return nullptr;
}

const EnumerationFacts* ServiceFacts::FieldEnumeration(std::string_view structure,
                                                       std::string_view field) const {
  const EnumeratedMember* member = FindMember(structureFields, structure, field);
  return member != nullptr ? FindEnumeration(member->enumeration) : nullptr;
}

const EnumerationFacts* ServiceFacts::OperationEnumeration(std::string_view operation,
                                                           std::string_view parameter) const {
  const EnumeratedMember* member = FindMember(operationMembers, operation, parameter);
  return member != nullptr ? FindEnumeration(member->enumeration) : nullptr;
}

}  // namespace Quil::Provider
