#include "slots.h"

#include <algorithm>

namespace Tavo::SimHost {
namespace {

struct BusLayout {
  Bus bus;
  std::string_view prefix;
  std::string_view name;
  std::int64_t controllers;
  std::int64_t units;
};

constexpr BusLayout kLayouts[] = {
    {Bus::kIde, "ide", "IDE", 2, 2},
    {Bus::kSata, "sata", "SATA", kControllersPerBus, 30},
    {Bus::kScsi, "scsi", "SCSI", kControllersPerBus, 16},
};
constexpr std::string_view kEthernet = "ethernet";
constexpr std::int64_t kAdapterSlots = 10;

const BusLayout& LayoutOf(Bus bus) {
  return *std::find_if(std::begin(kLayouts), std::end(kLayouts),
                       [bus](const BusLayout& layout) { return layout.bus == bus; });
}

// A decimal number of at most two digits, without sign or leading zero.
boost::optional<std::int64_t> ParseNumber(std::string_view text) {
  if (text.empty() || text.size() > 2 || (text.size() > 1 && text[0] == '0')) return boost::none;
  std::int64_t number = 0;
  for (const char digit : text) {
    if (digit < '0' || digit > '9') return boost::none;
    number = number * 10 + (digit - '0');
  }
  return number;
}

std::string SlotText(Bus bus, std::int64_t controller, std::int64_t unit) {
  return std::string(LayoutOf(bus).prefix) + std::to_string(controller) + ":" +
         std::to_string(unit);
}

bool HasController(const MachineRecord& machine, Bus bus, std::int64_t controller) {
  switch (bus) {
    case Bus::kIde:
      return true;  // built in
    case Bus::kSata:
      return std::any_of(machine.sataControllers.begin(), machine.sataControllers.end(),
                         [&](const auto& each) { return each.number == controller; });
    case Bus::kScsi:
      return std::any_of(machine.scsiControllers.begin(), machine.scsiControllers.end(),
                         [&](const auto& each) { return each.number == controller; });
  }
  return false;
}

std::string BusNames(std::initializer_list<Bus> buses) {
  std::string names;
  for (const Bus bus : buses) {
    if (!names.empty()) names += " or ";
    names += LayoutOf(bus).name;
  }
  return names;
}

boost::optional<std::string> FirstFreeSlot(const MachineRecord& machine,
                                           std::initializer_list<Bus> buses) {
  for (const Bus bus : buses) {
    const BusLayout& layout = LayoutOf(bus);
    for (std::int64_t controller = 0; controller < layout.controllers; ++controller) {
      if (!HasController(machine, bus, controller)) continue;
      for (std::int64_t unit = 0; unit < layout.units; ++unit) {
        std::string text = SlotText(bus, controller, unit);
        if (Occupant(machine, text) == nullptr) return text;
      }
    }
  }
  return boost::none;
}

Refusal NoFreeSlot(const MachineRecord& machine, std::string_view what) {
  return Refuse(Refusal::Kind::kUnableToAllocateResource, "tavo.simhost.device.no.free.slot",
                "The virtual machine {1} has no free slot for a {2}.", machine.vm,
                std::string(what));
}

Refusal SlotTaken(const MachineRecord& machine, const std::string& device,
                  const std::string& occupant) {
  return Refuse(Refusal::Kind::kAlreadyExists, "tavo.simhost.device.slot.taken",
                "The slot {1} of the virtual machine {2} holds {3} already.", device, machine.vm,
                occupant);
}

}  // namespace

boost::optional<Slot> ParseSlot(std::string_view text) {
  for (const BusLayout& layout : kLayouts) {
    if (text.substr(0, layout.prefix.size()) != layout.prefix) continue;
    const std::string_view numbers = text.substr(layout.prefix.size());
    const std::size_t colon = numbers.find(':');
    if (colon == std::string_view::npos) return boost::none;
    const auto controller = ParseNumber(numbers.substr(0, colon));
    const auto unit = ParseNumber(numbers.substr(colon + 1));
    if (!controller || !unit || *controller >= layout.controllers || *unit >= layout.units) {
      return boost::none;
    }
    return Slot{layout.bus, *controller, *unit};
  }
  return boost::none;
}

Refusal MalformedDevice(const std::string& text) {
  return Refuse(Refusal::Kind::kInvalidArgument, "tavo.simhost.device.malformed",
                "The device text {1} names no slot; slots are ide<0-1>:<0-1>, sata<0-3>:<0-29> "
                "and scsi<0-3>:<0-15>.",
                text);
}

std::string ControllerName(Bus bus, std::int64_t controller) {
  return std::string(LayoutOf(bus).name) + " controller " + std::to_string(controller);
}

const std::string* Occupant(const MachineRecord& machine, std::string_view device) {
  for (const CdromRecord& cdrom : machine.cdroms)
    if (cdrom.device == device) return &cdrom.cdrom;
  for (const DiskRecord& disk : machine.disks)
    if (disk.device == device) return &disk.disk;
  for (const NetworkAdapterRecord& adapter : machine.networkAdapters)
    if (adapter.device == device) return &adapter.device;
  return nullptr;
}

std::vector<std::string> DevicesOn(const MachineRecord& machine, Bus bus, std::int64_t controller) {
  std::vector<std::string> devices;
  const auto onController = [&](const std::string& device) {
    const auto slot = ParseSlot(device);
    return slot && slot->bus == bus && slot->controller == controller;
  };
  for (const CdromRecord& cdrom : machine.cdroms)
    if (onController(cdrom.device)) devices.push_back(cdrom.cdrom);
  for (const DiskRecord& disk : machine.disks)
    if (onController(disk.device)) devices.push_back(disk.disk);
  return devices;
}

Verdict PlaceDevice(const MachineRecord& machine, const std::string& requested,
                    std::initializer_list<Bus> buses, std::string_view what, std::string& device) {
  if (requested.empty()) {
    auto free = FirstFreeSlot(machine, buses);
    if (!free) return NoFreeSlot(machine, what);
    device = std::move(*free);
    return boost::none;
  }
  const auto slot = ParseSlot(requested);
  if (!slot) {
    return MalformedDevice(requested);
  }
  if (std::find(buses.begin(), buses.end(), slot->bus) == buses.end()) {
    return Refuse(Refusal::Kind::kInvalidArgument, "tavo.simhost.device.wrong.bus",
                  "A {1} cannot sit in {2}; it attaches to {3}.", std::string(what), requested,
                  BusNames(buses));
  }
  if (!HasController(machine, slot->bus, slot->controller)) {
    return Refuse(Refusal::Kind::kNotFound, "tavo.simhost.controller.not.found",
                  "The virtual machine {1} has no {2}.", machine.vm,
                  ControllerName(slot->bus, slot->controller));
  }
  if (const std::string* occupant = Occupant(machine, requested)) {
    return SlotTaken(machine, requested, *occupant);
  }
  device = requested;
  return boost::none;
}

Verdict PlaceAdapter(const MachineRecord& machine, const std::string& requested,
                     std::string& device) {
  if (requested.empty()) {
    for (std::int64_t n = 0; n < kAdapterSlots; ++n) {
      std::string text = std::string(kEthernet) + std::to_string(n);
      if (Occupant(machine, text) == nullptr) {
        device = std::move(text);
        return boost::none;
      }
    }
    return NoFreeSlot(machine, "network adapter");
  }
  const std::string_view text = requested;
  const auto number = text.substr(0, kEthernet.size()) == kEthernet
                          ? ParseNumber(text.substr(kEthernet.size()))
                          : boost::none;
  if (!number || *number >= kAdapterSlots) {
    return Refuse(Refusal::Kind::kInvalidArgument, "tavo.simhost.adapter.malformed",
                  "The device text {1} names no network adapter slot; slots are ethernet0 to "
                  "ethernet9.",
                  requested);
  }
  if (Occupant(machine, requested) != nullptr) {
    return Refuse(Refusal::Kind::kAlreadyExists, "tavo.simhost.adapter.slot.taken",
                  "The virtual machine {1} has a network adapter {2} already.", machine.vm,
                  requested);
  }
  device = requested;
  return boost::none;
}

}  // namespace Tavo::SimHost
