#include <tavo/simhost/state.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <set>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include <boost/json.hpp>

#include "compute_services.h"
#include "slots.h"

namespace Tavo::SimHost {
namespace {

namespace json = boost::json;
using BackingType = Vm::Device::CdromSvc::BackingType;

// A state file this large is not one a host wrote; refusing it keeps a wrong path from eating
// the memory.
constexpr std::size_t kMaxStateBytes = 256 * 1024 * 1024;

// ---- writing ------------------------------------------------------------------------------------

template <typename E>
json::string Text(const E& value) {
  return json::string(value.ToText());
}

void PutOptional(json::object& object, std::string_view name,
                 const boost::optional<std::string>& text) {
  if (text) object[name] = *text;
}

json::object MachineToJson(const MachineRecord& machine) {
  json::object object;
  object["vm"] = machine.vm;
  object["guest_os"] = machine.guestOS;
  PutOptional(object, "hw_version", machine.hwVersion);
  object["power"] = Text(machine.power);
  object["loaded"] = machine.loaded;
  object["cpus"] = {{"count", machine.cpus.count},
                    {"cores_per_socket", machine.cpus.coresPerSocket},
                    {"hot_add_enabled", machine.cpus.hotAddEnabled},
                    {"hot_remove_enabled", machine.cpus.hotRemoveEnabled}};
  object["memory"] = {{"size_mib", machine.memory.sizeMiB},
                      {"hot_add_enabled", machine.memory.hotAddEnabled}};
  json::array& cdroms = object["cdroms"].emplace_array();
  for (const CdromRecord& cdrom : machine.cdroms) {
    json::object& entry = cdroms.emplace_back(json::object()).as_object();
    entry["cdrom"] = cdrom.cdrom;
    entry["device"] = cdrom.device;
    entry["backing_type"] = Text(cdrom.backingType);
    PutOptional(entry, "device_name", cdrom.deviceName);
    PutOptional(entry, "iso_file", cdrom.isoFile);
  }
  json::array& disks = object["disks"].emplace_array();
  for (const DiskRecord& disk : machine.disks) {
    disks.push_back(json::object{{"disk", disk.disk}, {"device", disk.device}});
  }
  json::array& adapters = object["network_adapters"].emplace_array();
  for (const NetworkAdapterRecord& adapter : machine.networkAdapters) {
    adapters.push_back(json::object{{"device", adapter.device},
                                    {"network", adapter.network},
                                    {"adapter", Text(adapter.adapter)}});
  }
  json::array& sata = object["sata_controllers"].emplace_array();
  for (const SataControllerRecord& controller : machine.sataControllers) {
    sata.push_back(json::object{{"number", controller.number},
                                {"hba_type", Text(controller.hbaType)},
                                {"label", controller.label}});
  }
  json::array& scsi = object["scsi_controllers"].emplace_array();
  for (const ScsiControllerRecord& controller : machine.scsiControllers) {
    scsi.push_back(json::object{{"number", controller.number},
                                {"hba_type", Text(controller.hbaType)},
                                {"label", controller.label}});
  }
  return object;
}

// ---- reading ------------------------------------------------------------------------------------

std::string KindOf(const json::value& value) {
  switch (value.kind()) {
    case json::kind::null:
      return "null";
    case json::kind::bool_:
      return "a boolean";
    case json::kind::int64:
    case json::kind::uint64:
      return "an integer";
    case json::kind::double_:
      return "a number with a fraction or an exponent";
    case json::kind::string:
      return "a string";
    case json::kind::array:
      return "an array";
    case json::kind::object:
      return "an object";
  }
  return "something else";
}

std::string Expected(std::string_view what, const json::value& found) {
  return "expected " + std::string(what) + ", found " + KindOf(found);
}

template <typename T>
struct IsOptional : std::false_type {};
template <typename T>
struct IsOptional<boost::optional<T>> : std::true_type {};

bool Convert(const json::value& value, std::string& out, std::string& why) {
  if (!value.is_string()) {
    why = Expected("a string", value);
    return false;
  }
  out = std::string(value.get_string());
  return true;
}

bool Convert(const json::value& value, boost::optional<std::string>& out, std::string& why) {
  std::string text;
  if (!Convert(value, text, why)) return false;
  out = std::move(text);
  return true;
}

bool Convert(const json::value& value, bool& out, std::string& why) {
  if (!value.is_bool()) {
    why = Expected("a boolean", value);
    return false;
  }
  out = value.get_bool();
  return true;
}

bool Convert(const json::value& value, std::int64_t& out, std::string& why) {
  if (value.is_int64()) {
    out = value.get_int64();
    return true;
  }
  why = value.is_uint64() ? "the integer " + json::serialize(value) + " is too large"
                          : Expected("an integer", value);
  return false;
}

bool Convert(const json::value& value, std::uint64_t& out, std::string& why) {
  if (value.is_uint64()) {
    out = value.get_uint64();
    return true;
  }
  if (value.is_int64() && value.get_int64() >= 0) {
    out = static_cast<std::uint64_t>(value.get_int64());
    return true;
  }
  why = value.is_int64() ? "expected a count, found " + json::serialize(value)
                         : Expected("an integer", value);
  return false;
}

template <typename E, typename = std::enable_if_t<std::is_base_of_v<Quil::Data::Enumeration<E>, E>>>
bool Convert(const json::value& value, E& out, std::string& why) {
  std::string text;
  if (!Convert(value, text, why)) return false;
  const E read = E::FromText(text);
  if (read.value() != E::_UNKNOWN) {
    out = read;
    return true;
  }
  why = "\"" + text + "\" is not one of ";
  for (std::int32_t i = 0; E::Strings::values[i] != nullptr; ++i) {
    if (i == E::_UNKNOWN) continue;
    why += (i == 0 ? "" : ", ") + std::string(E::Strings::values[i]);
  }
  return false;
}

// Reads the members of one JSON object by name, remembering which it read so that Done can refuse
// the others. The first fault goes to `fault` with the member's path; later reads then do nothing.
class ObjectReader {
 public:
  ObjectReader(const json::value& value, std::string path, std::string& fault)
      : object_(value.if_object()), path_(std::move(path)), fault_(fault) {
    if (object_ == nullptr) Fail(Place(), Expected("an object", value));
  }

  bool ok() const { return fault_.empty(); }

  template <typename T>
  void Field(std::string_view name, T& out) {
    const json::value* member = Member(name, IsOptional<T>::value);
    if (member == nullptr) return;
    std::string why;
    if (!Convert(*member, out, why)) Fail(PathOf(name), why);
  }

  // `read(value, path)` reads the object `name`.
  template <typename Read>
  void Object(std::string_view name, Read&& read) {
    if (const json::value* member = Member(name, false)) read(*member, PathOf(name));
  }

  // `read(value, path, element)` reads each element of the array `name` into `out`.
  template <typename T, typename Read>
  void List(std::string_view name, std::vector<T>& out, Read&& read) {
    const json::value* member = Member(name, false);
    if (member == nullptr) return;
    const json::array* array = member->if_array();
    if (array == nullptr) return Fail(PathOf(name), Expected("an array", *member));
    out.reserve(array->size());
    for (std::size_t i = 0; i < array->size() && ok(); ++i) {
      T element;
      read((*array)[i], PathOf(name) + "[" + std::to_string(i) + "]", element);
      out.push_back(std::move(element));
    }
  }

  // Refuses the members nothing read: a misspelt name is a fault, not a default.
  void Done() {
    if (!ok()) return;
    for (const auto& member : *object_) {
      const std::string_view key = member.key();
      if (read_.count(key) == 0)
        return Fail(Place(), "unknown member \"" + std::string(key) + "\"");
    }
  }

 private:
  // The member `name`, or null: when missing (a fault unless `optional`), null and `optional`,
  // or after a fault.
  const json::value* Member(std::string_view name, bool optional) {
    if (!ok()) return nullptr;
    read_.insert(name);
    const json::value* member = object_->if_contains(name);
    if (member == nullptr && !optional) {
      Fail(Place(), "the member \"" + std::string(name) + "\" is missing");
    }
    if (member != nullptr && optional && member->is_null()) return nullptr;
    return member;
  }

  void Fail(const std::string& where, const std::string& why) {
    if (ok()) fault_ = where + ": " + why;
  }
  std::string Place() const { return path_.empty() ? "the top level" : path_; }
  std::string PathOf(std::string_view name) const {
    return path_.empty() ? std::string(name) : path_ + "." + std::string(name);
  }

  const json::object* object_;
  const std::string path_;
  std::string& fault_;
  std::set<std::string_view> read_;  // names of the caller's literals
};

template <typename Record>
void ReadController(const json::value& value, const std::string& path, Record& controller,
                    std::string& fault) {
  ObjectReader reader(value, path, fault);
  reader.Field("number", controller.number);
  reader.Field("hba_type", controller.hbaType);
  reader.Field("label", controller.label);
  reader.Done();
}

void ReadMachine(const json::value& value, const std::string& path, MachineRecord& machine,
                 std::string& fault) {
  ObjectReader reader(value, path, fault);
  reader.Field("vm", machine.vm);
  reader.Field("guest_os", machine.guestOS);
  reader.Field("hw_version", machine.hwVersion);
  reader.Field("power", machine.power);
  reader.Field("loaded", machine.loaded);
  reader.Object("cpus", [&](const json::value& cpus, const std::string& where) {
    ObjectReader fields(cpus, where, fault);
    fields.Field("count", machine.cpus.count);
    fields.Field("cores_per_socket", machine.cpus.coresPerSocket);
    fields.Field("hot_add_enabled", machine.cpus.hotAddEnabled);
    fields.Field("hot_remove_enabled", machine.cpus.hotRemoveEnabled);
    fields.Done();
  });
  reader.Object("memory", [&](const json::value& memory, const std::string& where) {
    ObjectReader fields(memory, where, fault);
    fields.Field("size_mib", machine.memory.sizeMiB);
    fields.Field("hot_add_enabled", machine.memory.hotAddEnabled);
    fields.Done();
  });
  reader.List("cdroms", machine.cdroms,
              [&](const json::value& entry, const std::string& where, CdromRecord& cdrom) {
                ObjectReader fields(entry, where, fault);
                fields.Field("cdrom", cdrom.cdrom);
                fields.Field("device", cdrom.device);
                fields.Field("backing_type", cdrom.backingType);
                fields.Field("device_name", cdrom.deviceName);
                fields.Field("iso_file", cdrom.isoFile);
                fields.Done();
              });
  reader.List("disks", machine.disks,
              [&](const json::value& entry, const std::string& where, DiskRecord& disk) {
                ObjectReader fields(entry, where, fault);
                fields.Field("disk", disk.disk);
                fields.Field("device", disk.device);
                fields.Done();
              });
  reader.List(
      "network_adapters", machine.networkAdapters,
      [&](const json::value& entry, const std::string& where, NetworkAdapterRecord& adapter) {
        ObjectReader fields(entry, where, fault);
        fields.Field("device", adapter.device);
        fields.Field("network", adapter.network);
        fields.Field("adapter", adapter.adapter);
        fields.Done();
      });
  reader.List("sata_controllers", machine.sataControllers,
              [&](const json::value& entry, const std::string& where, SataControllerRecord& c) {
                ReadController(entry, where, c, fault);
              });
  reader.List("scsi_controllers", machine.scsiControllers,
              [&](const json::value& entry, const std::string& where, ScsiControllerRecord& c) {
                ReadController(entry, where, c, fault);
              });
  reader.Done();
}

// ---- checking -----------------------------------------------------------------------------------

// Why the controllers of one bus cannot be as listed, or empty.
template <typename Record>
std::string CheckControllers(const MachineRecord& machine, const std::vector<Record>& controllers,
                             Bus bus) {
  std::int64_t previous = -1;
  for (const Record& controller : controllers) {
    if (controller.hbaType.value() == std::decay_t<decltype(controller.hbaType)>::_UNKNOWN) {
      return "the " + ControllerName(bus, controller.number) + " of the virtual machine " +
             machine.vm + " has an unknown adapter type";
    }
    if (controller.number <= previous || controller.number >= kControllersPerBus) {
      return "the virtual machine " + machine.vm + " lists a " +
             ControllerName(bus, controller.number) +
             " out of order or outside 0 to 3 (controllers are listed once each, by number)";
    }
    previous = controller.number;
  }
  return {};
}

// Whether `id` is "cdrom-<n>" with n from 1 to next - 1, written as the host writes it.
bool HostMadeCdrom(const std::string& id, std::uint64_t next) {
  constexpr std::string_view kPrefix = "cdrom-";
  if (id.size() <= kPrefix.size() || id.compare(0, kPrefix.size(), kPrefix) != 0) return false;
  const std::string number = id.substr(kPrefix.size());
  // At most 19 digits, so that the number fits before it is read.
  return number.size() < 20 && number[0] != '0' &&
         number.find_first_not_of("0123456789") == std::string::npos && std::stoull(number) < next;
}

// Why `machine` is not a machine a host holds, or empty. Places its devices one by one in a copy
// with no devices, by the host's own rules, so that what a host refuses is refused here too.
std::string CheckMachine(const MachineRecord& machine, std::set<std::string_view>& disks,
                         std::set<std::string_view>& cdroms, std::uint64_t nextCdrom) {
  const std::string& vm = machine.vm;
  if (vm.empty()) return "a virtual machine has an empty identifier";
  if (machine.power.value() == Runtime::_UNKNOWN) {
    return "the virtual machine " + vm + " has no power state";
  }
  if (machine.power != Runtime::STOPPED && !machine.loaded) {
    return "the virtual machine " + vm + " is " + machine.power.ToText() + " but not loaded";
  }
  if (Verdict refused = CheckCpuValues(vm, machine.cpus)) return refused->message.defaultMessage;
  if (Verdict refused = CheckMemoryValues(vm, machine.memory)) {
    return refused->message.defaultMessage;
  }
  std::string fault = CheckControllers(machine, machine.sataControllers, Bus::kSata);
  if (fault.empty()) fault = CheckControllers(machine, machine.scsiControllers, Bus::kScsi);
  if (!fault.empty()) return fault;

  MachineRecord placed;
  placed.vm = vm;
  placed.sataControllers = machine.sataControllers;
  placed.scsiControllers = machine.scsiControllers;
  std::string slot;
  // An empty device text would ask for the first free slot instead of naming one.
  const auto place = [&](const std::string& device, std::initializer_list<Bus> buses,
                         std::string_view what) -> std::string {
    if (device.empty()) {
      return "a " + std::string(what) + " of the virtual machine " + vm + " has no slot";
    }
    Verdict refused = PlaceDevice(placed, device, buses, what, slot);
    return refused ? refused->message.defaultMessage : std::string();
  };
  for (const CdromRecord& cdrom : machine.cdroms) {
    if (!HostMadeCdrom(cdrom.cdrom, nextCdrom)) {
      return "the CD-ROM identifier \"" + cdrom.cdrom + "\" of the virtual machine " + vm +
             " is not one the host made (cdrom-1 to cdrom-" + std::to_string(nextCdrom - 1) + ")";
    }
    if (!cdroms.insert(cdrom.cdrom).second) return "the CD-ROM " + cdrom.cdrom + " is listed twice";
    if (cdrom.backingType.value() == BackingType::_UNKNOWN) {
      return "the CD-ROM " + cdrom.cdrom + " has an unknown backing type";
    }
    if (std::string why = place(cdrom.device, {Bus::kIde, Bus::kSata}, "CD-ROM"); !why.empty()) {
      return why;
    }
    placed.cdroms.push_back(cdrom);
  }
  for (const DiskRecord& disk : machine.disks) {
    if (disk.disk.empty()) return "a disk of the virtual machine " + vm + " has no name";
    if (!disks.insert(disk.disk).second) {
      return "the virtual disk " + disk.disk + " is attached twice";
    }
    if (std::string why = place(disk.device, {Bus::kScsi, Bus::kSata, Bus::kIde}, "disk");
        !why.empty()) {
      return why;
    }
    placed.disks.push_back(disk);
  }
  for (const NetworkAdapterRecord& adapter : machine.networkAdapters) {
    if (adapter.network.empty() ||
        adapter.adapter.value() == Vm::Device::NetworkSvc::VirtualDev::_UNKNOWN) {
      return "the network adapter " + adapter.device + " of the virtual machine " + vm +
             " lacks its network or has an unknown type";
    }
    if (adapter.device.empty()) {
      return "a network adapter of the virtual machine " + vm + " has no slot";
    }
    if (Verdict refused = PlaceAdapter(placed, adapter.device, slot)) {
      return refused->message.defaultMessage;
    }
    placed.networkAdapters.push_back(adapter);
  }
  return {};
}

// The system's reason for the last failed call, after `what`.
std::string SystemFault(const std::string& what) { return what + ": " + std::strerror(errno); }

bool WriteAll(int fd, std::string_view contents) {
  while (!contents.empty()) {
    const ssize_t written = ::write(fd, contents.data(), contents.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    contents.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// Flushes the directory `directory`, so that a rename in it survives a crash.
bool SyncDirectory(const std::string& directory) {
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = ::fsync(fd) == 0;
  ::close(fd);
  return synced;
}

}  // namespace

std::string StateToJson(const HostState& state) {
  json::object root;
  root["format"] = kStateFormat;
  root["next_cdrom"] = state.nextCdrom;
  root["next_disk"] = state.nextDisk;
  json::array& machines = root["machines"].emplace_array();
  for (const MachineRecord& machine : state.inventory.machines) {
    machines.push_back(MachineToJson(machine));
  }
  return json::serialize(root) + "\n";
}

bool StateFromJson(std::string_view text, HostState& out, std::string& error) {
  json::stream_parser parser;
  json::error_code code;
  std::size_t used = parser.write(text.data(), text.size(), code);
  if (!code) parser.finish(code);
  if (code) {
    error = "not JSON (at byte " + std::to_string(used) + ": " + code.message() + ")";
    return false;
  }
  const json::value root = parser.release();

  std::string fault;
  HostState state;
  ObjectReader reader(root, "", fault);
  std::int64_t format = 0;
  reader.Field("format", format);  // first, so that a newer file is named as such
  if (reader.ok() && format != kStateFormat) {
    fault = "format " + std::to_string(format) + " is not one this host reads (" +
            std::to_string(kStateFormat) + ")";
  }
  reader.Field("next_cdrom", state.nextCdrom);
  reader.Field("next_disk", state.nextDisk);
  reader.List("machines", state.inventory.machines,
              [&](const json::value& value, const std::string& path, MachineRecord& machine) {
                ReadMachine(value, path, machine, fault);
              });
  reader.Done();
  if (fault.empty()) CheckState(state, fault);
  if (!fault.empty()) {
    error = std::move(fault);
    return false;
  }
  out = std::move(state);
  return true;
}

bool CheckState(const HostState& state, std::string& error) {
  if (state.nextCdrom < 1 || state.nextDisk < 1) {
    error = "the next CD-ROM and disk numbers start at 1";
    return false;
  }
  std::set<std::string_view> machines;
  std::set<std::string_view> disks;
  std::set<std::string_view> cdroms;
  for (const MachineRecord& machine : state.inventory.machines) {
    std::string fault = CheckMachine(machine, disks, cdroms, state.nextCdrom);
    if (fault.empty() && !machines.insert(machine.vm).second) {
      fault = "the virtual machine " + machine.vm + " is listed twice";
    }
    if (!fault.empty()) {
      error = std::move(fault);
      return false;
    }
  }
  return true;
}

bool WriteFileAtomically(const std::string& path, std::string_view contents, std::string& error) {
  std::string directory = std::filesystem::path(path).parent_path().string();
  if (directory.empty()) directory = ".";
  std::string temporary = path + ".tmp-XXXXXX";
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) {
    error = SystemFault("cannot create a temporary file beside " + path);
    return false;
  }
  bool written = WriteAll(fd, contents);
  if (!written) error = SystemFault("cannot write " + temporary);
  if (written && ::fsync(fd) != 0) {
    written = false;
    error = SystemFault("cannot flush " + temporary);
  }
  if (::close(fd) != 0 && written) {
    written = false;
    error = SystemFault("cannot close " + temporary);
  }
  if (written && ::rename(temporary.c_str(), path.c_str()) != 0) {
    written = false;
    error = SystemFault("cannot rename " + temporary + " to " + path);
  }
  if (!written) {
    ::unlink(temporary.c_str());
    return false;
  }
  // The new file is in place; until the directory is flushed a crash may still bring back the old.
  if (!SyncDirectory(directory)) {
    error = SystemFault("cannot flush the directory " + directory);
    return false;
  }
  return true;
}

bool SaveStateFile(const std::string& path, const HostState& state, std::string& error) {
  return WriteFileAtomically(path, StateToJson(state), error);
}

bool LoadStateFile(const std::string& path, boost::optional<HostState>& out, std::string& error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT) {
    out = boost::none;
    return true;
  }
  if (fd < 0) {
    error = SystemFault("cannot open " + path);
    return false;
  }
  struct stat status {};
  std::string text;
  bool read = ::fstat(fd, &status) == 0;
  if (!read) {
    error = SystemFault("cannot read " + path);
  } else if (!S_ISREG(status.st_mode) ||
             static_cast<std::size_t>(status.st_size) > kMaxStateBytes) {
    read = false;
    error = path + ": not a state file (not a regular file, or larger than 256 MiB)";
  }
  if (read) {
    text.resize(static_cast<std::size_t>(status.st_size));
    std::size_t done = 0;
    while (done < text.size()) {
      const ssize_t got = ::read(fd, text.data() + done, text.size() - done);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        read = false;
        error = SystemFault("cannot read " + path);
        break;
      }
      if (got == 0) break;  // shorter than fstat said
      done += static_cast<std::size_t>(got);
    }
    text.resize(done);
  }
  ::close(fd);
  if (!read) return false;
  HostState state;
  if (!StateFromJson(text, state, error)) {
    error = path + ": " + error;
    return false;
  }
  out = std::move(state);
  return true;
}

}  // namespace Tavo::SimHost
