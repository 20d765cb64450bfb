// What a service's method definitions leave out, stated for tools: in a definition an
// enumeration is a plain string, so which strings hold an enumeration, and its values, are
// stated here. The generator writes one per service (`<Svc>::AsyncServiceBinder::DescribeFacts`);
// tools read them beside the definitions of `Describe`.
//
// Every enumeration a member names is among the service's `enumerations`; a member holds it
// directly or inside optional, list and set wrappers.
//
//   auto facts = CdromSvc::AsyncServiceBinder::DescribeFacts();
//   facts.FieldEnumeration("com.korvan.tavo.vm.device.cdrom.summary", "backing_type")->values;
//   // {"ATAPI", "IMAGE", "RAW"}
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <quil/export.h>

namespace Quil::Provider {

struct TAVO_VM_API EnumerationFacts {
  // `table` is a generated `Strings::values` table: the wire texts, "_UNKNOWN", then null.
  EnumerationFacts(std::string name, const char* const* table);

  std::string name;                 // wire name
  std::vector<std::string> values;  // wire texts in code order; "_UNKNOWN" is not one of them
};

// A structure field, an operation parameter or an operation's result that holds an enumeration.
struct EnumeratedMember {
  std::string owner;        // the structure's wire name, or the operation's name
  std::string member;       // the field's or the parameter's wire name; empty for a result
  std::string enumeration;  // the enumeration's wire name
};

struct TAVO_VM_API ServiceFacts {
  std::string interfaceName;
  std::vector<EnumerationFacts> enumerations;
  std::vector<EnumeratedMember> structureFields;
  std::vector<EnumeratedMember> operationMembers;

  // Null when the service states no such enumeration or member.
  const EnumerationFacts* FindEnumeration(std::string_view name) const;
  const EnumerationFacts* FieldEnumeration(std::string_view structure,
                                           std::string_view field) const;
  // `parameter` empty: the operation's result.
  const EnumerationFacts* OperationEnumeration(std::string_view operation,
                                               std::string_view parameter) const;
};

}  // namespace Quil::Provider
