#include "call.h"

#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <utility>
#include <vector>

#include <boost/json/monotonic_resource.hpp>
#include <boost/json/serialize.hpp>

#include <quil/core/activation.h>
#include <quil/core/api_result_cb.h>
#include <quil/core/identifiers.h>
#include <quil/error_names.h>
#include <quil/l10n/localizer.h>
#include <quil/provider/api_method_helper.h>
#include <quil/remote/client.h>
#include <quil/remote/json.h>
#include <tavo/vm/catalogue.h>

#include <hostd.h>

#include "views.h"

namespace Tavo::Tool {
namespace {

namespace json = boost::json;
using Quil::Data::DataValue;
using Quil::Data::DataValuePtr;

constexpr std::string_view kUnavailableMessage = "quil.remote.unavailable";

int Refuse(const std::string& why) {
  std::fprintf(stderr, "tavo-vm: %s\n", why.c_str());
  return kUsage;
}

std::string Joined(const std::vector<std::string>& texts) {
  std::string joined;
  for (const std::string& text : texts) joined += (joined.empty() ? "" : ", ") + text;
  return joined;
}

// What the lenient check leaves to the server's own validator, found before sending: fields a
// structure does not declare, and texts outside an enumeration. Walks with an explicit stack.
class StrictCheck {
 public:
  explicit StrictCheck(const Catalogue& catalogue) : catalogue_(catalogue) {}

  std::vector<std::string> Run(const DataValue& input, const std::vector<Member>& members,
                               const std::string& owner) {
    CheckMembers(input, members, owner, "");
    while (!pending_.empty()) {
      Frame frame = std::move(pending_.back());
      pending_.pop_back();
      Visit(frame);
    }
    return std::move(faults_);
  }

 private:
  struct Frame {
    DataValuePtr value;
    const TypeShape* shape;
    std::size_t skip;
    std::string path;
  };

  static std::string Child(const std::string& path, const std::string& name) {
    return path.empty() ? name : path + "." + name;
  }

  void CheckMembers(const DataValue& value, const std::vector<Member>& members,
                    const std::string& owner, const std::string& path) {
    const auto* structure = dynamic_cast<const Quil::Data::CompoundValue*>(&value);
    if (structure == nullptr) return;  // a kind mismatch: the lenient check's to report
    std::vector<Frame> found;
    structure->ForEachField([&](const Quil::Data::CompoundValue::Field& field) {
      const auto member = std::find_if(members.begin(), members.end(),
                                       [&field](const Member& m) { return m.name == field.name; });
      const std::string name(field.name);
      if (member == members.end()) {
        std::vector<std::string> names;
        for (const Member& m : members) names.push_back(m.name);
        faults_.push_back(Child(path, name) + ": " + owner + " has no field \"" + name +
                          "\" (its fields: " + Joined(names) + ")");
      } else {
        found.push_back({field.value, &member->type, 0, Child(path, name)});
      }
    });
    pending_.insert(pending_.end(), std::make_move_iterator(found.rbegin()),
                    std::make_move_iterator(found.rend()));
  }

  void Visit(const Frame& frame) {
    DataValuePtr value = frame.value;
    const TypeShape& shape = *frame.shape;
    for (std::size_t i = frame.skip; i < shape.wrappers.size() && value != nullptr; ++i) {
      if (const auto* optional = dynamic_cast<const Quil::Data::OptionalValue*>(value.get())) {
        if (!optional->IsSet()) return;
        value = optional->GetValue();
      }
      if (shape.wrappers[i] == TypeShape::Wrapper::kOptional) continue;
      const auto* list = dynamic_cast<const Quil::Data::ListValue*>(value.get());
      if (list == nullptr) return;
      std::vector<Frame> elements;
      std::size_t index = 0;
      list->ForEach([&](const DataValuePtr& element) {
        elements.push_back(
            {element, &shape, i + 1, frame.path + "[" + std::to_string(index++) + "]"});
      });
      pending_.insert(pending_.end(), std::make_move_iterator(elements.rbegin()),
                      std::make_move_iterator(elements.rend()));
      return;
    }
    if (const auto* optional = dynamic_cast<const Quil::Data::OptionalValue*>(value.get())) {
      if (!optional->IsSet()) return;
      value = optional->GetValue();
    }
    if (value == nullptr) return;
    if (shape.base == TypeShape::Base::kString) {
      const Enumeration* enumeration = catalogue_.FindEnumeration(shape.name);
      const auto* text = dynamic_cast<const Quil::Data::StringValue*>(value.get());
      if (enumeration == nullptr || text == nullptr) return;
      const auto& values = enumeration->values;
      if (std::find(values.begin(), values.end(), text->GetValue()) == values.end()) {
        faults_.push_back(frame.path + ": \"" + std::string(text->GetValue()) +
                          "\" is not a value of " + enumeration->name + " (" + Joined(values) +
                          ")");
      }
    } else if (shape.base == TypeShape::Base::kStructure) {
      if (const Structure* structure = catalogue_.FindStructure(shape.name)) {
        CheckMembers(*value, structure->members, structure->name, frame.path);
      }
    }
  }

  const Catalogue& catalogue_;
  std::vector<Frame> pending_;
  std::vector<std::string> faults_;
};

// Progress reports on standard error: one bar redrawn in place on a terminal, lines otherwise.
class ProgressDisplay {
 public:
  ProgressDisplay() : terminal_(isatty(STDERR_FILENO) == 1) {}

  void Show(const Quil::Progress& progress) {
    std::string text;
    const std::string counts = std::to_string(progress.done) + "/" + std::to_string(progress.total);
    const std::string phase =
        progress.phase != 0 ? " (phase " + std::to_string(progress.phase) + ")" : "";
    if (terminal_) {
      constexpr std::int64_t kWidth = 30;
      const std::int64_t filled =
          progress.total > 0
              ? std::clamp<std::int64_t>(progress.done * kWidth / progress.total, 0, kWidth)
              : 0;
      const std::int64_t percent =
          progress.total > 0
              ? std::clamp<std::int64_t>(progress.done * 100 / progress.total, 0, 100)
              : 0;
      text = "\r\x1b[2K[" + std::string(filled, '#') + std::string(kWidth - filled, '.') + "] " +
             std::to_string(percent) + "% " + counts + phase;
      shown_ = true;
    } else {
      text = "progress: " + counts + phase + "\n";
    }
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
  }

  // Ends the bar's line before anything else is written.
  void Finish() {
    if (shown_) std::fputs("\r\x1b[2K", stderr);
    shown_ = false;
  }

 private:
  bool terminal_;
  bool shown_ = false;
};

struct Answer {
  std::mutex mutex;
  std::condition_variable done;
  ProgressDisplay progress;
  Quil::Core::MethodResultPtr result;
  bool answered = false;
};

std::string Cell(const json::value& value) {
  if (value.is_null()) return "-";
  if (value.is_string()) return std::string(value.as_string());
  return json::serialize(value);
}

std::size_t DisplayWidth(const std::string& text) {
  std::size_t width = 0;
  for (unsigned char c : text) width += (c & 0xC0) != 0x80 ? 1 : 0;
  return width;
}

}  // namespace

bool ReadInput(const std::string& argument, std::string& text, std::string& error) {
  if (argument.empty()) {
    text = "{}";
    return true;
  }
  if (argument == "-" || argument[0] == '@') {
    std::ifstream file;
    if (argument != "-") {
      file.open(argument.substr(1), std::ios::binary);
      if (!file) {
        error = "cannot read the input file " + argument.substr(1);
        return false;
      }
    }
    std::istream& in = argument == "-" ? std::cin : file;
    std::ostringstream content;
    content << in.rdbuf();
    text = content.str();
    return true;
  }
  text = argument;
  return true;
}

std::string TableText(const json::value& rows, std::vector<std::string> columns) {
  if (!rows.as_array().empty()) columns.clear();
  for (const json::value& row : rows.as_array()) {
    if (!row.is_object()) continue;
    for (const auto& field : row.as_object()) {
      const std::string name(field.key());
      if (std::find(columns.begin(), columns.end(), name) == columns.end()) columns.push_back(name);
    }
  }
  std::vector<std::vector<std::string>> cells{columns};
  for (const json::value& row : rows.as_array()) {
    std::vector<std::string> line;
    for (const std::string& column : columns) {
      const json::value* field = row.is_object() ? row.as_object().if_contains(column) : nullptr;
      line.push_back(field != nullptr ? Cell(*field) : "-");
    }
    cells.push_back(std::move(line));
  }
  std::vector<std::size_t> widths(columns.size(), 0);
  for (const auto& line : cells) {
    for (std::size_t i = 0; i < line.size(); ++i)
      widths[i] = std::max(widths[i], DisplayWidth(line[i]));
  }
  std::string text;
  for (const auto& line : cells) {
    std::string out;
    for (std::size_t i = 0; i < line.size(); ++i) {
      out += line[i];
      if (i + 1 < line.size()) out += std::string(widths[i] - DisplayWidth(line[i]) + 2, ' ');
    }
    text += out + "\n";
  }
  return text;
}

int RunCall(const Catalogue& catalogue, const Operation& operation, const std::string& inputText,
            const CallOptions& options) {
  const std::string name = catalogue.ShortName(operation);
  if (options.table && !operation.output.IsListOfStructures()) {
    return Refuse("--table shows a list of structures; " + name + " answers " +
                  ShapeText(operation.output));
  }

  // Checked before anything is sent, as the server would check it.
  const Quil::Data::DataDefinitionPtr inputDefinition = operation.method->inputDefinition();
  Quil::MessageList messages;
  DataValuePtr input;
  std::vector<std::string> faults;
  if (!Quil::Remote::Json::Decode(inputText, inputDefinition, input, messages)) {
    for (const Quil::BaseMessage& message : messages) faults.push_back(message.defaultMessage);
  } else {
    Quil::Core::MethodResultPtr rejected;
    if (!Quil::Provider::ApiMethodHelper::ValidateInput(operation.name, inputDefinition, input,
                                                        rejected)) {
      if (rejected != nullptr && rejected->error != nullptr) {
        for (const Quil::BaseMessage& message : rejected->error->GetMessages()) {
          faults.push_back(message.defaultMessage);
        }
      }
    } else {
      faults = StrictCheck(catalogue).Run(*input, operation.input, name + " input");
    }
  }
  if (!faults.empty()) {
    std::fprintf(stderr, "tavo-vm: the input does not fit %s; nothing was sent:\n", name.c_str());
    for (const std::string& fault : faults) std::fprintf(stderr, "  %s\n", fault.c_str());
    return kUsage;
  }

  Quil::Remote::ClientOptions client;
  client.url = options.server;
  client.caFile = options.caFile;
  client.timeout = options.timeout;
  client.maxConnections = 1;
  std::string error;
  if (!options.tokenFile.empty() && !SimHost::ReadToken(options.tokenFile, client.token, error)) {
    return Refuse(error);
  }
  auto activation = std::make_shared<Quil::Core::AsyncActivation>();
  if (!options.locale.empty()) {
    std::error_code localeError;
    Quil::L10n::LanguagePreference language =
        Quil::L10n::LocaleHelpers::MakeLanguagePreference(options.locale, localeError);
    if (localeError) {
      return Refuse("--locale \"" + options.locale + "\": " + localeError.message());
    }
    activation->SetLocale(std::make_shared<const Quil::L10n::LocaleSpec>(
        std::move(language),
        Quil::L10n::LanguagePreference{{Quil::L10n::LanguageTag::Parse(
            Quil::L10n::LocaleHelpers::kDefaultFormat, localeError)}},
        Quil::L10n::TimezoneSpec(std::string(Quil::L10n::LocaleHelpers::kDefaultTimezone))));
  }
  std::unique_ptr<Quil::Remote::HttpApiProvider> provider;
  try {
    // Outputs and errors are decoded with the operations' own definitions.
    provider = std::make_unique<Quil::Remote::HttpApiProvider>(
        client, Com::Korvan::Tavo::Vm::DescribeServices());
  } catch (const std::invalid_argument& refused) {
    return Refuse("--server: " + std::string(refused.what()));
  }

  auto answer = std::make_shared<Answer>();
  Quil::Core::AsyncApiResultCb callback(
      [answer](Quil::Core::MethodResultPtr result, Quil::Progress progress, auto&&) {
        std::lock_guard<std::mutex> lock(answer->mutex);
        if (answer->answered) return;
        if (result == nullptr) {
          answer->progress.Show(progress);
          return;
        }
        answer->progress.Finish();
        answer->result = std::move(result);
        answer->answered = true;
        answer->done.notify_all();
      });
  provider->Invoke(
      Quil::Core::MethodIdentifier::GetInstance(
          Quil::Core::InterfaceIdentifier::GetInstance(operation.interfaceName), operation.name),
      input, activation, callback);
  Quil::Core::MethodResultPtr result;
  {
    std::unique_lock<std::mutex> lock(answer->mutex);
    // The provider answers by its own deadline; this bound only guards against its failing to.
    if (!answer->done.wait_for(lock, options.timeout + std::chrono::seconds(10),
                               [&answer] { return answer->answered; })) {
      answer->progress.Finish();
      answer->answered = true;
      lock.unlock();
      std::fprintf(stderr, "tavo-vm: %s did not answer in time\n", options.server.c_str());
      return kTransport;
    }
    result = answer->result;
  }

  if (result->error != nullptr) {
    const Quil::MessageList errorMessages = result->error->GetMessages();
    const bool transport =
        result->error->GetName() == Quil::ErrorNames::kServiceUnavailable &&
        std::any_of(errorMessages.begin(), errorMessages.end(),
                    [](const Quil::BaseMessage& m) { return m.id == kUnavailableMessage; });
    std::fprintf(stderr, "tavo-vm: %s\n", std::string(result->error->GetName()).c_str());
    for (const Quil::BaseMessage& message : errorMessages) {
      std::fprintf(stderr, "  %s\n", message.defaultMessage.c_str());
    }
    return transport ? kTransport : kAnsweredError;
  }
  if (result->output == nullptr || result->output->GetType() == Quil::Data::DataType::VOID) {
    return kAnswered;
  }
  std::string text;
  messages.clear();
  if (!Quil::Remote::Json::Encode(*result->output, text, messages)) {
    std::fprintf(stderr, "tavo-vm: the answer has no JSON form\n");
    return kAnsweredError;
  }
  const bool terminal = isatty(STDOUT_FILENO) == 1;
  if (options.table) {
    json::monotonic_resource resource;
    const std::optional<json::value> rows = Quil::Remote::Json::Parse(text, resource, messages);
    if (rows && rows->is_array()) {
      std::vector<std::string> columns;
      if (const Structure* row = catalogue.FindStructure(operation.output.name)) {
        for (const Member& member : row->members) columns.push_back(member.name);
      }
      std::fputs(TableText(*rows, std::move(columns)).c_str(), stdout);
      return kAnswered;
    }
  }
  std::fputs((terminal ? IndentJson(text) : text).c_str(), stdout);
  std::fputs("\n", stdout);
  return kAnswered;
}

}  // namespace Tavo::Tool
