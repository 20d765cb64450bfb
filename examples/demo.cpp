// A short tour of the framework layer: build dynamic values, check them against a definition,
// and render the messages a failed check produces.
#include <cstdint>
#include <cstdio>
#include <string>

#include <quil/data/definition.h>
#include <quil/data/value.h>
#include <quil/message.h>
#include <quil/provider/api_method_helper.h>

using namespace Quil;
using namespace Quil::Data;

namespace {

// The shape of a virtual machine's CPU configuration.
DataDefinitionPtr CpuInfoDefinition() {
  FieldDefinitions fields;
  fields["count"] = DataDefinition::Create<std::int64_t>();
  fields["cores_per_socket"] = DataDefinition::Create<std::int64_t>();
  fields["hot_add_enabled"] = DataDefinition::Create<bool>();
  fields["hot_remove_enabled"] = DataDefinition::Create<bool>();
  return StructDefinition::GetInstance("com.korvan.tavo.vm.compute.cpus.info", std::move(fields));
}

DataValuePtr CpuInfo(std::int64_t count, bool withFlags) {
  auto info = StructValue::GetInstance("com.korvan.tavo.vm.compute.cpus.info");
  info->SetField("count", DataValue::Create<std::int64_t>(count));
  info->SetField("cores_per_socket", DataValue::Create<std::int64_t>(2));
  if (withFlags) {
    info->SetField("hot_add_enabled", DataValue::Create<bool>(true));
    info->SetField("hot_remove_enabled", DataValue::Create<bool>(false));
  }
  return info;
}

void PrintMessages(const MessageList& messages) {
  for (const auto& m : messages) std::printf("    [%s] %s\n", m.id.c_str(), m.defaultMessage.c_str());
}

}  // namespace

int main() {
  bool ok = true;
  const auto definition = CpuInfoDefinition();
  std::printf("definition: %s\n", ToText(definition.get()).c_str());

  const auto good = CpuInfo(4, true);
  std::printf("value:      %s\n", ToText(good.get()).c_str());
  auto result = Provider::ApiMethodHelper::ValidateOutput("get", definition, good);
  std::printf("check of a complete value: %s\n", result->error ? "rejected" : "accepted");
  ok &= !result->error && result->output == good;

  const auto partial = CpuInfo(4, false);
  std::printf("value:      %s\n", ToText(partial.get()).c_str());
  result = Provider::ApiMethodHelper::ValidateOutput("get", definition, partial);
  std::printf("check of a value without its flags: %s as %s\n",
              result->error ? "rejected" : "accepted",
              result->error ? result->error->GetName().c_str() : "-");
  if (result->error) PrintMessages(result->error->GetMessages());
  ok &= result->error != nullptr;

  std::int64_t parsed = 0;
  MessageList messages;
  const bool parsedOk = DataValue::ToPrimitive(DataValue::Create<std::string>("4x"), parsed, messages);
  std::printf("the text \"4x\" as an integer: %s\n", parsedOk ? "parsed" : "refused");
  PrintMessages(messages);
  ok &= !parsedOk && messages.size() == 1;

  const BaseMessage made =
      Message<CoreTag>("quil.invoke.invalid.input", std::string("::Com::Korvan::Tavo::Vm::Compute::CpusSvc::Update"));
  std::printf("catalogue message: [%s] %s\n", made.id.c_str(), made.defaultMessage.c_str());

  std::printf("%s\n", ok ? "demo finished: every step behaved as expected" : "demo FAILED");
  return ok ? 0 : 1;
}
