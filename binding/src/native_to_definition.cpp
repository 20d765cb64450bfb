#include <quil/data/native_to_definition.h>

namespace Quil::Data {

namespace N2D_internal {

std::pair<DataDefinitionPtr, bool> StackMapCnt::GetDef(TypeKey key) const {
  auto found = definitions.find(key);
  if (found == definitions.end()) return {nullptr, false};
  return {found->second, true};
}

void StackMapCnt::SetDef(TypeKey key, DataDefinitionPtr definition) {
  definitions.insert_or_assign(key, std::move(definition));
}

}  // namespace N2D_internal

void NativeToDefinitionAdapter::Adapt(Method method, DefinitionSlot destination,
                                      const MessageList& messages) {
  StackType stack;
  method(SrcType(), destination, stack, messages);
  while (!stack.entries.empty()) {
    // A copy: the method may push, and it must see its source alive until it returns.
    const BasicAdaptEntry entry = stack.entries.back();
    stack.entries.pop_back();
    entry.method(entry.source, entry.destination, stack, messages);
  }
}

void NativeToDefinitionAdapter::ResolveMethod(const SrcType& source, DefinitionSlot,
                                              StackType& stack, const MessageList&) {
  // Only structure definitions are recorded under an identity.
  source.structRef->SetTarget(
      std::static_pointer_cast<const StructDefinition>(stack.GetDef(source.key).first));
}

void NativeToDefinitionAdapter::PushComposite(const SrcType& source, DefinitionSlot destination,
                                              StackType& stack, Method endMethod,
                                              Method elementMethod) {
  SrcType composite;
  composite.element = std::make_shared<DataDefinitionPtr>();
  DefinitionSlot cell = composite.element.get();
  // The end step goes first so that it runs once the element is finished.
  stack.entries.push_back({std::move(composite), endMethod, destination});
  stack.entries.push_back({source, elementMethod, cell});
}

void NativeToDefinitionAdapter::StoreUnionCase(const SrcType& source, DefinitionSlot destination,
                                               std::string tagField,
                                               UnionCaseDefinition::Predicate predicate) {
  *destination =
      UnionCaseDefinition::GetInstance(*source.element, std::move(tagField), std::move(predicate));
}

bool NativeToDefinitionAdapter::ServedFromEarlierMeeting(StackType& stack, TypeKey key,
                                                         const std::string& name,
                                                         DefinitionSlot destination) {
  auto [definition, present] = stack.GetDef(key);
  if (!present) {
    stack.SetDef(key, nullptr);  // being built from now on
    return false;
  }
  if (definition != nullptr) {
    *destination = std::move(definition);
    return true;
  }
  // The structure contains itself. The reference is resolved after every other step of the
  // call, when the enclosing definition is finished.
  SrcType resolve;
  resolve.structRef = StructRefDefinition::GetInstance(name);
  resolve.key = key;
  *destination = resolve.structRef;
  stack.entries.push_front({std::move(resolve), &ResolveMethod, nullptr});
  return true;
}

NativeToDefinitionAdapter::CompoundHelper<StructDefinition>::CompoundHelper(StackType& stack)
    : fields_(std::make_shared<FieldDefinitions>()), stack_(stack) {}

void NativeToDefinitionAdapter::CompoundHelper<StructDefinition>::PushEnd(
    Method endMethod, std::string name, TypeKey key, DefinitionSlot destination) {
  SrcType end;
  end.fields = fields_;
  end.name = std::move(name);
  end.key = key;
  stack_.entries.push_back({std::move(end), endMethod, destination});
}

void NativeToDefinitionAdapter::CompoundHelper<StructDefinition>::PushField(std::string_view name,
                                                                            Method method) {
  // Map entries keep their address while the map lives, which the end step guarantees.
  DefinitionSlot slot = &fields_->try_emplace(std::string(name)).first->second;
  stack_.entries.push_back({SrcType(), method, slot});
}

}  // namespace Quil::Data
