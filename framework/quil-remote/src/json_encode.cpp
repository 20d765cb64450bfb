#include <quil/remote/json.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <quil/message.h>

#include "json_text.h"

namespace Quil::Remote::Json {

namespace {

using Data::CompoundValue;
using Data::DataType;
using Data::DataValue;

// Where a value sits in its container, for the paths of messages.
struct Segment {
  enum class Kind : std::uint8_t { ROOT, FIELD, INDEX };
  Kind kind = Kind::ROOT;
  std::string_view field;
  std::size_t index = 0;

  static Segment Field(std::string_view name) { return {Kind::FIELD, name, 0}; }
  static Segment Index(std::size_t index) { return {Kind::INDEX, {}, index}; }
};

// One piece of pending output: a member or element to write, or the end of a container.
struct Step {
  const DataValue* value = nullptr;
  Segment segment;
  char close = '\0';  // ']' or '}': the step ends the innermost open container
  bool comma = false;
};

// Writes the text depth first. A container writes its opening bracket at once and queues its
// children and its closing bracket; `open_` keeps the segment of every open container so that a
// failure can name its path.
class Encoder {
 public:
  Encoder(std::string& out, MessageList& messages) : out_(out), messages_(messages) {}

  bool Run(const DataValue& root) {
    steps_.push_back({&root, Segment{}, '\0', false});
    while (!steps_.empty()) {
      const Step step = steps_.back();
      steps_.pop_back();
      if (step.close != '\0') {
        out_ += step.close;
        open_.pop_back();
        continue;
      }
      if (step.comma) out_ += ',';
      if (step.segment.kind == Segment::Kind::FIELD) {
        // A key that is not UTF-8 is named by the path of its structure: the key itself cannot
        // be shown.
        if (!Detail::AppendQuoted(out_, step.segment.field))
          return Fail("quil.remote.json.utf8", {});
        out_ += ':';
      }
      if (!Write(step.value, step.segment)) return false;
    }
    return true;
  }

 private:
  bool Write(const DataValue* value, Segment segment) {
    // An optional has no form of its own: a set one is its content.
    while (value != nullptr && value->GetType() == DataType::OPTIONAL) {
      const auto& optional = static_cast<const Data::OptionalValue&>(*value);
      value = optional.IsSet() ? optional.GetValue().get() : nullptr;
    }
    if (value == nullptr) {
      out_ += "null";
      return true;
    }
    switch (value->GetType().GetType()) {
      case DataType::VOID:
        out_ += "null";
        return true;
      case DataType::INTEGER:
        AppendNumber(static_cast<const Data::IntegerValue&>(*value).GetValue());
        return true;
      case DataType::DOUBLE:
        return WriteDouble(static_cast<const Data::DoubleValue&>(*value).GetValue(), segment);
      case DataType::BOOLEAN:
        out_ += static_cast<const Data::BooleanValue&>(*value).GetValue() ? "true" : "false";
        return true;
      case DataType::STRING:
        return WriteText(static_cast<const Data::StringValue&>(*value).GetValue(), segment);
      case DataType::SECRET:
        return WriteText(static_cast<const Data::SecretValue&>(*value).GetValue(), segment);
      case DataType::BLOB:
        out_ += '"';
        Detail::AppendBase64(out_, static_cast<const Data::BlobValue&>(*value).GetValue());
        out_ += '"';
        return true;
      case DataType::LIST:
        OpenList(static_cast<const Data::ListValue&>(*value), segment);
        return true;
      case DataType::STRUCTURE:
      case DataType::ERROR:
        return OpenObject(static_cast<const CompoundValue&>(*value), segment);
      default:
        // No value has another kind; a newer peer's kind has no JSON form here.
        out_ += "null";
        return true;
    }
  }

  bool WriteText(std::string_view text, Segment segment) {
    if (Detail::AppendQuoted(out_, text)) return true;
    return Fail("quil.remote.json.utf8", segment);
  }

  bool WriteDouble(double number, Segment segment) {
    if (!std::isfinite(number)) return Fail("quil.remote.json.not.number", segment);
    char text[32];
    const auto written = std::to_chars(std::begin(text), std::end(text), number).ptr;
    out_.append(text, written);
    // A whole number keeps a fraction, so that it reads back as a double without a definition.
    if (std::find_if(text, written, [](char c) { return c == '.' || c == 'e'; }) == written) {
      out_ += ".0";
    }
    return true;
  }

  void AppendNumber(std::int64_t number) {
    char text[24];
    out_.append(text, std::to_chars(std::begin(text), std::end(text), number).ptr);
  }

  void OpenList(const Data::ListValue& list, Segment segment) {
    out_ += '[';
    open_.push_back(segment);
    steps_.push_back({nullptr, Segment{}, ']', false});
    const std::size_t first = steps_.size();
    std::size_t index = 0;
    for (const Data::DataValuePtr& element : list) {
      steps_.push_back({element.get(), Segment::Index(index), '\0', index > 0});
      ++index;
    }
    std::reverse(steps_.begin() + static_cast<std::ptrdiff_t>(first), steps_.end());
  }

  bool OpenObject(const CompoundValue& compound, Segment segment) {
    out_ += '{';
    open_.push_back(segment);
    bool comma = false;
    const bool isError = compound.GetType() == DataType::ERROR;
    if (isError) {
      // An error's name is the member "name"; a field of that name cannot travel beside it.
      out_ += "\"name\":";
      if (!Detail::AppendQuoted(out_, compound.GetName())) {
        return Fail("quil.remote.json.utf8", Segment::Field("name"));
      }
      comma = true;
    }
    steps_.push_back({nullptr, Segment{}, '}', false});
    const std::size_t first = steps_.size();
    compound.ForEachField([&](const CompoundValue::Field& field) {
      if (isError && field.name == "name") return;
      steps_.push_back({field.value.get(), Segment::Field(field.name), '\0', comma});
      comma = true;
    });
    std::reverse(steps_.begin() + static_cast<std::ptrdiff_t>(first), steps_.end());
    return true;
  }

  // Appends the message of `id` for the value at `last` within the open containers.
  bool Fail(const char* id, Segment last) {
    std::string path;
    auto append = [&path](const Segment& segment) {
      if (segment.kind == Segment::Kind::FIELD) Detail::AppendFieldToPath(path, segment.field);
      if (segment.kind == Segment::Kind::INDEX) Detail::AppendIndexToPath(path, segment.index);
    };
    for (const Segment& segment : open_) append(segment);
    append(last);
    messages_.push_back(Message<CoreTag>(id, Detail::ShownPath(std::move(path))));
    return false;
  }

  std::string& out_;
  MessageList& messages_;
  std::vector<Step> steps_;
  std::vector<Segment> open_;
};

}  // namespace

bool Encode(const Data::DataValue& value, std::string& out, MessageList& messages) {
  return Encoder(out, messages).Run(value);
}

}  // namespace Quil::Remote::Json
