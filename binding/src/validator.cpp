#include <quil/data/validator.h>

#include <quil/message.h>

namespace Quil::Data {

bool Validator::CheckUnknownFields(const BaseNative& native, Policy policy,
                                   std::string_view typeName, MessageList& messages) {
  if (policy != Strict || native.unknownFields == nullptr) return true;
  // Ascending name order, whatever order the fields arrived in.
  for (const CompoundValue::Field* field : native.unknownFields->SortedFields()) {
    messages.push_back(Message<CoreTag>("quil.data.compound.field.extra", std::string(typeName),
                                        std::string(field->name), std::string()));
  }
  // A store holding no field is invalid as well: it is never made without one.
  return false;
}

bool Validator::CheckUnionMember(std::string_view unionName, std::string_view memberName,
                                 bool isSet, boost::tribool rule, MessageList& messages) {
  const char* id = nullptr;
  if (rule && !isSet) {
    id = "quil.data.union.invalid.case.state.isnotset.short";
  } else if (!rule && isSet) {
    id = "quil.data.union.invalid.case.state.isset.short";
  } else {
    return true;
  }
  messages.push_back(Message<CoreTag>(id, std::string(unionName), std::string(memberName)));
  return false;
}

void Validator::AppendMissingTag(std::string_view tagField, MessageList& messages) {
  messages.push_back(Message<CoreTag>("quil.data.union.missing.tag.field", std::string(tagField)));
}

void Validator::AppendInvalidInput(std::string_view operationName, MessageList& messages) {
  messages.push_back(Message<CoreTag>("quil.invoke.invalid.input", std::string(operationName)));
}

}  // namespace Quil::Data
