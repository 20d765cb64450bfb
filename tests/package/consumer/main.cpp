// Uses each installed library: framework values, the formatter, a generated service type
// converted by the bindings, its JSON form, and the HTTP server and client.
#include <cstdio>
#include <cstring>

#include <tavo/vm/compute/cpus.h>

#include <quil/data/value.h>
#include <quil/message.h>
#include <quil/remote/client.h>
#include <quil/remote/json.h>
#include <quil/remote/server.h>

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
  std::string json;
  if (!Quil::Remote::Json::Encode(*value, json, messages) || json.find("\"count\":4") == json.npos)
    return 4;
  Quil::Provider::InterfaceRegistry registry;
  Quil::Remote::HttpServer server(registry, {});
  std::string error;
  if (!server.Start(error)) return 5;
  Quil::Remote::ClientOptions options;
  options.url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/api";
  Quil::Remote::HttpApiProvider client(options, nullptr);
  server.Stop(std::chrono::milliseconds(100));
  std::printf("consumer ok: %s %s\n", Quil::Data::ToText(value.get()).c_str(), json.c_str());
  return 0;
}
