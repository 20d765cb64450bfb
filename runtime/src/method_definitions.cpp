#include <quil/provider/method_definitions.h>

namespace Quil::Provider {

Data::DataDefinitionPtr MethodDefinitions::Adapt(Data::NativeToDefinitionAdapter::Method method) {
  Data::DataDefinitionPtr definition;
  const MessageList messages;
  Data::NativeToDefinitionAdapter::Adapt(method, &definition, messages);
  return definition;
}

std::vector<Data::DataDefinitionPtr> MethodDefinitions::AdaptEach(
    std::initializer_list<Data::NativeToDefinitionAdapter::Method> methods) {
  std::vector<Data::DataDefinitionPtr> definitions;
  definitions.reserve(methods.size());
  for (Data::NativeToDefinitionAdapter::Method method : methods) {
    definitions.push_back(Adapt(method));
  }
  return definitions;
}

}  // namespace Quil::Provider
