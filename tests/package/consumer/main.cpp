// Uses one entry point of each installed library.
#include <cstdio>
#include <cstring>

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
  std::puts("consumer ok");
  return 0;
}
