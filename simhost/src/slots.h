// Device slots: the texts that name where a device sits ("ide0:1", "sata0:0", "scsi1:15",
// "ethernet0"), which slots a machine offers, and which of them are free. One device per slot,
// whatever its kind.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include <boost/optional.hpp>

#include <tavo/simhost/host.h>

#include "refusal.h"

namespace Tavo::SimHost {

enum class Bus { kIde, kSata, kScsi };

// Controller numbers on the SATA and SCSI buses run from 0 to kControllersPerBus - 1.
constexpr std::int64_t kControllersPerBus = 4;

struct Slot {
  Bus bus;
  std::int64_t controller;
  std::int64_t unit;
};

// The slot a device text names, or none when it names no slot of any machine.
boost::optional<Slot> ParseSlot(std::string_view text);

// InvalidArgument: `text` names no slot.
Refusal MalformedDevice(const std::string& text);

// "SATA controller 1"-style name of a controller, for messages.
std::string ControllerName(Bus bus, std::int64_t controller);

// What sits in `device` on `machine` (a CD-ROM's identifier or a disk's name), or null.
const std::string* Occupant(const MachineRecord& machine, std::string_view device);

// The identifiers of the devices on one controller of `machine`.
std::vector<std::string> DevicesOn(const MachineRecord& machine, Bus bus, std::int64_t controller);

// Sets `device` to the slot of a new device `what` ("CD-ROM", "disk") that may sit on `buses`:
// `requested` when it names a free slot of a controller the machine has, or with `requested`
// empty the first free slot on `buses` in that order. Refusals: InvalidArgument for a malformed
// text or another bus, NotFound for a missing controller, AlreadyExists for a taken slot,
// UnableToAllocateResource when no slot is free.
Verdict PlaceDevice(const MachineRecord& machine, const std::string& requested,
                    std::initializer_list<Bus> buses, std::string_view what, std::string& device);

// The same for a network adapter, on "ethernet0" to "ethernet9".
Verdict PlaceAdapter(const MachineRecord& machine, const std::string& requested,
                     std::string& device);

}  // namespace Tavo::SimHost
