// Uses each installed library: framework values, the formatter, and a generated service type
// converted by the bindings.
#include <cstdio>
#include <cstring>

#include <tavo/vm/compute/cpus.h>

#include <quil/data/value.h>
#include <quil/message.h>

int main() {
  auto info = Quil::Data::StructValue::GetInstance("com.example.info");
  info->SetField("count", Quil::Data::DataValue::Create<std::int64_t>(4));
  Quil::MessageList messages;
  Quil::Data::DataValuePtr count;
  if (!info->GetField("count", count, messages)) return 1;
  std::string text = Quil::FormatImpl<1>::call("count is {1}", std::string("four"));
  if (text != "count is four") return 2;

  Com::Korvan::Tavo::Vm::Compute::CpusSvc::Info cpus;
  cpus.count = 4;
  cpus.coresPerSocket = 2;
  Quil::Data::DataValuePtr value;
  if (!Quil::Data::NativeToValueAdapter::Adapt(
          cpus, value, messages, Quil::L10n::RequestLocalizerHelper::GetDefaultRequestLocalizer()))
    return 3;
  std::printf("consumer ok: %s\n", Quil::Data::ToText(value.get()).c_str());
  return 0;
}
