#include <quil/data/native_to_value.h>

#include <quil/message.h>

namespace Quil::Data {

bool NativeToValueAdapter::Adapt(NativeConstPtr source, Method first, DataValuePtr& destination,
                                 MessageList& messages, const L10n::RequestLocalizer& localizer) {
  const std::size_t before = messages.size();
  Deque queue(localizer);
  first(source, &destination, queue, messages);
  while (!queue.Empty()) {
    const NativeToValueEntry entry = queue.Pop();
    entry.method(entry.source, entry.destination, queue, messages);
  }
  return messages.size() == before;
}

void NativeToValueAdapter::ReportUnsetStructure(std::string wireName, Deque& queue,
                                                MessageList& messages) {
  messages.push_back(Message<CoreTag>("quil.data.unset.non.optional.field", wireName));
  queue.Clear();
}

NativeToValueAdapter::CompoundHelper<StructValue>::CompoundHelper(StaticText name,
                                                                  DataValuePtr* destination,
                                                                  Deque& queue,
                                                                  std::size_t fieldCount)
    : value_(StructValue::GetInstance(name, fieldCount)), queue_(queue) {
  *destination = value_;
}

}  // namespace Quil::Data
