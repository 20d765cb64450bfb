#include <quil/data/value_to_native.h>

#include <quil/message.h>

namespace Quil::Data {

using StructHelper = ValueToNativeAdapter::CompoundHelper<StructValue>;

bool ValueToNativeAdapter::Adapt(const DataValuePtr& source, Method first, NativePtr destination,
                                 MessageList& messages) {
  const std::size_t before = messages.size();
  Stack stack;
  first(source, destination, stack, messages);
  while (!stack.Empty()) {
    // The entry is taken off first: its method may clear the stack, and the entry keeps its
    // source alive until the method returns.
    const ValueToNativeEntry entry = stack.Pop();
    entry.method(entry.source, entry.destination, stack, messages);
  }
  return messages.size() == before;
}

template <typename T>
bool ValueToNativeAdapter::AdaptPrimitive(const DataValuePtr& value, T& out,
                                          MessageList& messages) {
  if (value && value->GetType() == DataType::STRING) {
    return DataValue::ToPrimitive<T>(value, out, messages);
  }
  return DataValue::Value<T>(value, out, messages);
}

template bool ValueToNativeAdapter::AdaptPrimitive(const DataValuePtr&, std::int64_t&,
                                                   MessageList&);
template bool ValueToNativeAdapter::AdaptPrimitive(const DataValuePtr&, bool&, MessageList&);
template bool ValueToNativeAdapter::AdaptPrimitive(const DataValuePtr&, std::string&, MessageList&);
template bool ValueToNativeAdapter::AdaptPrimitive(const DataValuePtr&, Void&, MessageList&);

template <>
std::shared_ptr<const ListValue> ValueToNativeAdapter::NarrowSrc<ListValue>(
    const DataValuePtr& value, MessageList& messages) {
  if (value && value->GetType() == DataType::LIST) {
    return std::static_pointer_cast<const ListValue>(value);
  }
  messages.push_back(Message<CoreTag>("quil.data.invalid.type"));
  return nullptr;
}

bool ValueToNativeAdapter::TextOrReport(const DataValuePtr& value, std::string_view& text,
                                        MessageList& messages) {
  if (const auto held = TextIfString(value)) {
    text = *held;
    return true;
  }
  std::string ignored;
  return DataValue::Value<std::string>(value, ignored, messages);  // appends its message
}

std::optional<std::string_view> ValueToNativeAdapter::TextIfString(const DataValuePtr& value) {
  if (!value || value->GetType() != DataType::STRING) return std::nullopt;
  return static_cast<const StringValue&>(*value).GetValue();
}

StructHelper::CompoundHelper(const DataValuePtr& source, Stack& stack, MessageList& messages)
    : stack_(stack), messages_(messages), messageCount_(messages.size()) {
  if (const auto text = TextIfString(source)) {
    if (text->empty()) {
      emptyString_ = source;
    } else {
      messages.push_back(Message<CoreTag>("quil.data.bad.cast1", std::string(*text)));
    }
    return;
  }
  if (source && source->GetType().IsStructure()) {
    // The value model's two compound classes are known by their kinds; anything else claiming a
    // structure kind is asked.
    switch (source->GetType().GetType()) {
      case DataType::STRUCTURE:
        incoming_ = std::static_pointer_cast<const StructValue>(source);
        break;
      case DataType::ERROR:
        incoming_ = std::static_pointer_cast<const ErrorValue>(source);
        break;
      default:
        incoming_ = std::dynamic_pointer_cast<const CompoundValue>(source);
        break;
    }
    if (incoming_) return;
  }
  messages.push_back(Message<CoreTag>("quil.data.invalid.type"));
}

StructHelper::~CompoundHelper() {
  if (Failed()) stack_.Clear();
}

void StructHelper::AddUnknownFields(KnownNames known) {
  // Collected even after a field has failed: only an absent incoming structure gives nothing.
  if (!incoming_) return;
  // Names are unique in a value and in a walker: when every incoming field was a declared one,
  // there is nothing left to look for.
  if (declaredFound_ == incoming_->FieldCount()) return;
  BaseNative::AdapterHelper::AddUnknownFields(known, incoming_.get(), base_->unknownFields);
}

}  // namespace Quil::Data
