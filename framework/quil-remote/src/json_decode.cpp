#include <quil/remote/json.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <boost/json/value_stack.hpp>
#include <nlohmann/json.hpp>

#include <quil/message.h>
#include <quil/std/errors.h>

#include "json_text.h"

namespace Quil::Remote::Json {

namespace {

namespace json = boost::json;
using Data::CompoundValue;
using Data::DataDefinition;
using Data::DataType;
using Data::DataValuePtr;
using Data::ListDefinition;
using Data::ListValue;
using Data::StructDefinition;

// The kind a JSON value would have as a dynamic value, for messages.
const char* KindName(const json::value& value) {
  switch (value.kind()) {
    case json::kind::null:
      return DataType(DataType::VOID).Name();
    case json::kind::bool_:
      return DataType(DataType::BOOLEAN).Name();
    case json::kind::int64:
    case json::kind::uint64:
      return DataType(DataType::INTEGER).Name();
    case json::kind::double_:
      return DataType(DataType::DOUBLE).Name();
    case json::kind::string:
      return DataType(DataType::STRING).Name();
    case json::kind::array:
      return DataType(DataType::LIST).Name();
    case json::kind::object:
      return DataType(DataType::STRUCTURE).Name();
  }
  return "unknown";
}

// The shortest text that reads back as `number`; in scientific form when asked, which shows a
// number beyond the 64-bit range as the approximation it is.
std::string NumberText(double number, bool scientific) {
  char text[32];
  const auto written = scientific ? std::to_chars(std::begin(text), std::end(text), number,
                                                  std::chars_format::scientific)
                                  : std::to_chars(std::begin(text), std::end(text), number);
  return {text, written.ptr};
}

// Builds Boost.JSON's tree from the events of nlohmann's parser, whose parser, unlike Boost's,
// keeps its nesting on the heap (Boost's recurses once per level while the input lasts) and reads
// doubles exactly. The builder enforces the depth limit and keeps the position within the
// document, so that a failure can name its path; the first failure is kept in `failure`.
class TreeBuilder {
 public:
  using Json = nlohmann::json;

  TreeBuilder(json::monotonic_resource* resource, std::size_t maxDepth) : maxDepth_(maxDepth) {
    stack_.reset(resource);
  }

  json::value Release() { return stack_.release(); }
  std::optional<BaseMessage> failure;

  bool null() {
    stack_.push_null();
    return Done();
  }
  bool boolean(bool value) {
    stack_.push_bool(value);
    return Done();
  }
  bool number_integer(std::int64_t value) {
    stack_.push_int64(value);
    return Done();
  }
  bool number_unsigned(std::uint64_t value) {
    // As Boost reads it: int64 whenever the number fits.
    if (value <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      stack_.push_int64(static_cast<std::int64_t>(value));
    } else {
      stack_.push_uint64(value);
    }
    return Done();
  }
  bool number_float(double value, const std::string&) {
    stack_.push_double(value);
    return Done();
  }
  bool string(std::string& value) {
    stack_.push_string(value);
    return Done();
  }
  bool binary(Json::binary_t&) { return false; }  // JSON text has none
  bool start_object(std::size_t) { return Open(true); }
  bool key(std::string& key) {
    keys_.resize(open_.back().keyStart);
    keys_ += key;
    open_.back().keyPending = false;
    stack_.push_key(key);
    return true;
  }
  bool end_object() {
    stack_.push_object(open_.back().count);
    return Close();
  }
  bool start_array(std::size_t) { return Open(false); }
  bool end_array() {
    stack_.push_array(open_.back().count);
    return Close();
  }
  bool parse_error(std::size_t, const std::string& token, const nlohmann::detail::exception& e) {
    if (!Detail::IsUtf8(token)) {
      failure = Message<CoreTag>("quil.remote.json.utf8", Path());
      return false;
    }
    // "[json.exception.parse_error.101] parse error at line 1, column 5: ...; last read: '...'":
    // the position and the reason, without the text read (which can be long).
    std::string reason = e.what();
    const std::size_t first = reason.find("] ");
    if (first != std::string::npos) reason.erase(0, first + 2);
    const std::size_t lastRead = reason.find("; last read: ");
    if (lastRead != std::string::npos) reason.erase(lastRead);
    failure = Message<CoreTag>("quil.remote.json.syntax", Path(), reason);
    return false;
  }

 private:
  // An open array or object. The key of the member being read in an object is kept in `keys_`
  // from `keyStart` on, up to the next open container's start: one buffer for all the keys of a
  // path, however deep.
  struct Container {
    std::size_t count;  // elements or members read so far
    std::size_t keyStart;
    bool object;
    bool keyPending;  // in an object, between members: no key is being read
  };

  bool Open(bool object) {
    if (open_.size() == maxDepth_) {
      failure = Message<CoreTag>("quil.remote.json.too.deep", Path(), std::to_string(maxDepth_));
      return false;
    }
    open_.push_back({0, keys_.size(), object, object});
    return true;
  }

  bool Close() {
    keys_.resize(open_.back().keyStart);
    open_.pop_back();
    return Done();
  }

  bool Done() {
    if (!open_.empty()) {
      ++open_.back().count;
      open_.back().keyPending = open_.back().object;
    }
    return true;
  }

  // The path of the value being read; between the members of an object, the object's path.
  std::string Path() const {
    std::string path;
    for (std::size_t i = 0; i < open_.size(); ++i) {
      const Container& container = open_[i];
      if (!container.object) {
        Detail::AppendIndexToPath(path, container.count);
      } else if (!container.keyPending) {
        const std::size_t end = i + 1 < open_.size() ? open_[i + 1].keyStart : keys_.size();
        Detail::AppendFieldToPath(
            path, std::string_view(keys_).substr(container.keyStart, end - container.keyStart));
      }
    }
    return Detail::ShownPath(std::move(path));
  }

  std::size_t maxDepth_;
  json::value_stack stack_;
  std::vector<Container> open_;
  std::string keys_;
};

// Where a value is being decoded: one frame per array or object open at once. The child a frame
// works on is the one before `next`, which gives the path of any failure.
struct Frame {
  const json::value* json;
  // An array's element definition, or an object's structure definition; null when undeclared.
  const DataDefinition* definition;
  std::size_t next;
  ListValue* list;          // set for an array
  CompoundValue* compound;  // set for an object
  bool error;               // an object decoded as an error: its "name" is not a field
};

class Decoder {
 public:
  Decoder(MessageList& messages, const DecodeLimits& limits, std::string_view path)
      : messages_(messages), limits_(limits), prefix_(path) {}

  bool Run(const json::value& root, const DataDefinition* definition, DataValuePtr& out) {
    DataValuePtr value;
    if (!Decode(root, definition, &value)) return false;
    while (!frames_.empty()) {
      Frame& top = frames_.back();
      if (top.list != nullptr) {
        const json::array& array = top.json->get_array();
        if (top.next == array.size()) {
          frames_.pop_back();
          continue;
        }
        const json::value& element = array[top.next++];
        // `top` may move once Decode pushes a frame: read everything from it first.
        DataValuePtr* slot = top.list->AppendSlot();
        if (!Decode(element, top.definition, slot)) return false;
        continue;
      }
      const json::object& object = top.json->get_object();
      if (top.next == object.size()) {
        AddAbsentOptionals(top);
        frames_.pop_back();
        continue;
      }
      const json::key_value_pair& member = object.begin()[top.next++];
      const json::string_view key = member.key();
      if (!Detail::IsUtf8(key)) return Fail("quil.remote.json.utf8", Path(frames_.size() - 1));
      if (top.error && key == "name") continue;
      const DataDefinition* field = nullptr;
      if (top.definition != nullptr) {
        const auto& fields = static_cast<const StructDefinition&>(*top.definition).GetFields();
        auto found = fields.find(std::string_view(key.data(), key.size()));
        if (found != fields.end()) field = found->second.get();
      }
      DataValuePtr* slot = top.compound->FieldSlot(std::string_view(key.data(), key.size()));
      if (!Decode(member.value(), field, slot)) return false;
    }
    out = std::move(value);
    return true;
  }

 private:
  // Decodes a scalar into `slot`, or creates a container there and opens its frame.
  bool Decode(const json::value& value, const DataDefinition* definition, DataValuePtr* slot) {
    definition = Unwrap(value, definition, slot);
    if (slot == nullptr) return true;
    const DataType::EnumType declared =
        definition != nullptr ? definition->GetType().GetType() : DataType::VOID;
    switch (value.kind()) {
      case json::kind::null:
        if (definition != nullptr && declared == DataType::VOID) {
          *slot = Data::VoidValue::GetInstance();
        } else {
          *slot = Data::OptionalValue::GetInstance();
        }
        return true;
      case json::kind::bool_:
        *slot = Data::BooleanValue::GetInstance(value.get_bool());
        return true;
      case json::kind::int64:
        if (declared == DataType::DOUBLE) {
          *slot = Data::DoubleValue::GetInstance(static_cast<double>(value.get_int64()));
        } else {
          *slot = Data::IntegerValue::GetInstance(value.get_int64());
        }
        return true;
      case json::kind::uint64:
        if (declared == DataType::DOUBLE) {
          *slot = Data::DoubleValue::GetInstance(static_cast<double>(value.get_uint64()));
          return true;
        }
        return Fail("quil.remote.json.integer.range", Path(frames_.size()),
                    std::to_string(value.get_uint64()));
      case json::kind::double_:
        return DecodeDouble(value.get_double(), declared == DataType::INTEGER, slot);
      case json::kind::string:
        return DecodeString(value.get_string(), declared, slot);
      case json::kind::array: {
        if (!MayOpen()) return false;
        const json::array& array = value.get_array();
        const auto* list =
            declared == DataType::LIST ? static_cast<const ListDefinition*>(definition) : nullptr;
        auto created =
            ListValue::GetInstance(list != nullptr ? list->GetKind() : ListValue::Kind::LIST);
        created->Reserve(array.size());
        frames_.push_back({&value, list != nullptr ? list->GetElementType().get() : nullptr, 0,
                           created.get(), nullptr, false});
        *slot = std::move(created);
        return true;
      }
      case json::kind::object: {
        if (!MayOpen()) return false;
        const bool structure = declared == DataType::STRUCTURE || declared == DataType::ERROR;
        const bool error = declared == DataType::ERROR;
        std::string name;
        if (structure) name = static_cast<const StructDefinition&>(*definition).GetName();
        std::shared_ptr<CompoundValue> created;
        if (error) {
          created = Data::ErrorValue::GetInstance(std::move(name));
        } else {
          created = Data::StructValue::GetInstance(std::move(name));
        }
        created->Reserve(value.get_object().size());
        frames_.push_back(
            {&value, structure ? definition : nullptr, 0, nullptr, created.get(), error});
        *slot = std::move(created);
        return true;
      }
    }
    return true;
  }

  // Follows references, and turns optionals and union members into optional values: unset for
  // null (then `slot` becomes null: nothing is left to decode), else set, with `slot` moved to
  // their content. Returns the definition that the content is to be decoded with.
  static const DataDefinition* Unwrap(const json::value& value, const DataDefinition* definition,
                                      DataValuePtr*& slot) {
    while (definition != nullptr) {
      switch (definition->GetType().GetType()) {
        case DataType::STRUCT_REF:
          // The target lives as long as the tree that holds the reference.
          definition = static_cast<const Data::StructRefDefinition&>(*definition).GetTarget().get();
          continue;
        case DataType::OPTIONAL:
        case DataType::UNION_CASE: {
          auto optional = Data::OptionalValue::GetInstance();
          DataValuePtr* content = value.is_null() ? nullptr : optional->value(nullptr);
          *slot = std::move(optional);
          slot = content;
          if (content == nullptr) return nullptr;
          definition =
              definition->GetType() == DataType::OPTIONAL
                  ? static_cast<const Data::OptionalDefinition&>(*definition).GetElementType().get()
                  : static_cast<const Data::UnionCaseDefinition&>(*definition)
                        .GetElementType()
                        .get();
          continue;
        }
        default:
          return definition;
      }
    }
    return nullptr;
  }

  bool DecodeDouble(double number, bool integer, DataValuePtr* slot) {
    if (!integer) {
      *slot = Data::DoubleValue::GetInstance(number);
      return true;
    }
    // A whole number written with a fraction or an exponent ("2.0", "1e3") is that integer.
    // Magnitudes from 2^63 on are refused, -2^63 too: an integer literal below the 64-bit range
    // reads as a double that can round to exactly -2^63.
    constexpr double kLimit = 9223372036854775808.0;
    if (std::trunc(number) != number) {
      return Fail("quil.remote.json.integer.fraction", Path(frames_.size()),
                  NumberText(number, false));
    }
    if (!(std::fabs(number) < kLimit)) {
      return Fail("quil.remote.json.integer.range", Path(frames_.size()), NumberText(number, true));
    }
    *slot = Data::IntegerValue::GetInstance(static_cast<std::int64_t>(number));
    return true;
  }

  bool DecodeString(const json::string& string, DataType::EnumType declared, DataValuePtr* slot) {
    const std::string_view text(string.data(), string.size());
    if (!Detail::IsUtf8(text)) return Fail("quil.remote.json.utf8", Path(frames_.size()));
    switch (declared) {
      case DataType::BLOB: {
        std::string bytes;
        if (!Detail::ReadBase64(text, bytes)) {
          return Fail("quil.data.definition.string.unparsable", Path(frames_.size()),
                      DataType(DataType::BLOB).Name(), std::string(text));
        }
        *slot = Data::BlobValue::GetInstance(std::move(bytes));
        return true;
      }
      case DataType::SECRET:
        *slot = Data::SecretValue::GetInstance(std::string(text));
        return true;
      default:
        *slot = Data::StringValue::GetInstance(std::string(text));
        return true;
    }
  }

  // A declared optional or union member that the object leaves out is an unset optional, as the
  // bindings write it.
  static void AddAbsentOptionals(const Frame& frame) {
    if (frame.definition == nullptr) return;
    for (const auto& [name, field] :
         static_cast<const StructDefinition&>(*frame.definition).GetFields()) {
      if (field == nullptr) continue;
      const DataType kind = field->GetType();
      if ((kind == DataType::OPTIONAL || kind == DataType::UNION_CASE) &&
          !frame.compound->HasField(name)) {
        frame.compound->SetField(name, Data::OptionalValue::GetInstance());
      }
    }
  }

  bool MayOpen() {
    if (frames_.size() < limits_.maxDepth) return true;
    return Fail("quil.remote.json.too.deep", Path(frames_.size()),
                std::to_string(limits_.maxDepth));
  }

  // The path through the children of the first `frames` frames.
  std::string Path(std::size_t frames) const {
    std::string path(prefix_);
    for (std::size_t i = 0; i < frames; ++i) {
      const Frame& frame = frames_[i];
      if (frame.list != nullptr) {
        Detail::AppendIndexToPath(path, frame.next - 1);
      } else {
        const json::string_view key = frame.json->get_object().begin()[frame.next - 1].key();
        Detail::AppendFieldToPath(path, std::string_view(key.data(), key.size()));
      }
    }
    return Detail::ShownPath(std::move(path));
  }

  template <typename... Args>
  bool Fail(const char* id, const Args&... args) {
    messages_.push_back(Message<CoreTag>(id, args...));
    return false;
  }

  MessageList& messages_;
  const DecodeLimits& limits_;
  std::string_view prefix_;
  std::vector<Frame> frames_;
};

}  // namespace

std::optional<boost::json::value> Parse(std::string_view text,
                                        boost::json::monotonic_resource& resource,
                                        MessageList& messages, const DecodeLimits& limits) {
  if (text.size() > limits.maxBytes) {
    messages.push_back(Message<CoreTag>("quil.remote.json.too.large", std::to_string(text.size()),
                                        std::to_string(limits.maxBytes)));
    return std::nullopt;
  }
  TreeBuilder builder(&resource, limits.maxDepth);
  if (!nlohmann::json::sax_parse(text.begin(), text.end(), &builder)) {
    messages.push_back(builder.failure
                           ? std::move(*builder.failure)
                           : Message<CoreTag>("quil.remote.json.syntax", Detail::ShownPath({}),
                                              std::string("no JSON value")));
    return std::nullopt;
  }
  return builder.Release();
}

bool Decode(std::string_view text, const Data::DataDefinitionPtr& definition,
            Data::DataValuePtr& out, MessageList& messages, const DecodeLimits& limits) {
  out = nullptr;
  // Every node lives in the resource, which gives the tree a destruction that does not recurse.
  json::monotonic_resource resource;
  std::optional<json::value> tree = Parse(text, resource, messages, limits);
  return tree && Decoder(messages, limits, {}).Run(*tree, definition.get(), out);
}

bool Decode(const boost::json::value& json, const Data::DataDefinitionPtr& definition,
            Data::DataValuePtr& out, MessageList& messages, const DecodeLimits& limits,
            std::string_view path) {
  out = nullptr;
  return Decoder(messages, limits, path).Run(json, definition.get(), out);
}

bool DecodeError(const boost::json::value& json,
                 const std::vector<Data::DataDefinitionPtr>& declared, Data::ErrorValuePtr& out,
                 MessageList& messages, const DecodeLimits& limits) {
  out = nullptr;
  const json::object* object = json.if_object();
  if (object == nullptr) {
    messages.push_back(Message<CoreTag>("quil.data.definition.type.mismatch", Detail::ShownPath({}),
                                        DataType(DataType::ERROR).Name(), KindName(json)));
    return false;
  }
  const json::value* name = object->if_contains("name");
  if (name == nullptr) {
    messages.push_back(Message<CoreTag>("quil.data.definition.field.missing", "name"));
    return false;
  }
  if (!name->is_string()) {
    messages.push_back(Message<CoreTag>("quil.data.definition.type.mismatch", "name",
                                        DataType(DataType::STRING).Name(), KindName(*name)));
    return false;
  }
  const std::string_view text(name->get_string().data(), name->get_string().size());
  if (!Detail::IsUtf8(text)) {
    messages.push_back(Message<CoreTag>("quil.remote.json.utf8", "name"));
    return false;
  }
  Data::DataDefinitionPtr definition;
  for (const Data::DataDefinitionPtr& candidate : declared) {
    if (candidate != nullptr && candidate->GetType() == DataType::ERROR &&
        static_cast<const StructDefinition&>(*candidate).GetName() == text) {
      definition = candidate;
      break;
    }
  }
  // Every error shares the shape of the standard ones: its name and a list of messages.
  if (definition == nullptr) {
    definition = Com::Korvan::Quil::Std::Errors::Detail::MakeErrorDefinition(text);
  }
  Data::DataValuePtr value;
  if (!Decode(json, definition, value, messages, limits)) return false;
  out = std::static_pointer_cast<const Data::ErrorValue>(std::move(value));
  return true;
}

}  // namespace Quil::Remote::Json
