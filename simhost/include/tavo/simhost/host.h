// A simulated virtualisation host: in-memory implementations of the ten services of the VM
// management API over one inventory of virtual machines, so that what one service changes the
// others see. Something to run host software against before there is a hypervisor.
//
//   Tavo::SimHost::Host host;                        // or Host(HostOptions::Delivery::Worker)
//   Quil::Provider::LocalApiProvider provider;
//   host.RegisterWith(provider);                     // then call through the stubs
//   Tavo::SimHost::InventorySnapshot now = host.Snapshot();
//
// Threads. Calls may come from any number of threads at once. The inventory is guarded by one
// mutex: each call decides its answer under it and delivers the answer after letting it go. With
// Delivery::Immediate the answer is delivered on the calling thread before the operation returns;
// with Delivery::Worker it is queued to a thread the host owns and delivered from there, in the
// order it was queued (the order of the calls, for calls from one thread). In that mode a callback
// must not wait for another answer of the same host, since the worker is busy running the callback.
// The destructor delivers what is queued and joins the worker; implementations still bound
// somewhere after that answer on the calling thread. Never destroy the host from inside one of its
// answers.
//
// Machines (nask, dock). "create" records a machine under `spec.vm` (a non-empty identifier not
// in use) with its guest OS and optional hardware version: STOPPED, not loaded, 1 CPU of 1 core
// per socket without hot add or hot remove, 1024 MiB without hot add, no devices, no SATA or SCSI
// controllers (the two IDE controllers are built in). "delete" removes a STOPPED machine with all
// its devices. dock "load" loads a STOPPED machine's configuration, as the inventory holds it, into
// the host's runtime: the machine counts as loaded until its configuration changes while it is
// STOPPED. A powered-on machine is always loaded (switching on loads it).
//
// Power. STOPPED, RUNNING, SUSPENDED:
//   switch_on            STOPPED -> RUNNING, SUSPENDED -> RUNNING (resume)
//   switch_on paused     STOPPED -> SUSPENDED (powered on, not running); refused when SUSPENDED
//   switch_on soft       resumes only: SUSPENDED -> RUNNING; refused when STOPPED (soft and
//                        paused together are always refused)
//   switch_off           RUNNING or SUSPENDED -> STOPPED
//   reset                RUNNING -> RUNNING
//   suspend              RUNNING -> SUSPENDED
// Anything else is NotAllowedInCurrentState, naming the state and what the operation needs
// ("The virtual machine vm-1 is STOPPED; reset needs RUNNING.").
//
// CPUs and memory. "update" changes what its update spec sets; an update that changes nothing
// is accepted in every state. The values must hold (InvalidArgument): 1 to 64 CPUs, cores per
// socket at least 1 and dividing the count; memory in MiB, a multiple of 4 from 4 to 1048576.
// Changes are then checked against the power state (NotAllowedInCurrentState): while SUSPENDED
// nothing changes; while RUNNING more CPUs need CPU hot add enabled, fewer need hot remove
// enabled, cores per socket and the hot-plug flags stay as they are, and memory may only grow,
// with memory hot add enabled.
//
// Devices. A device sits in a slot named by its device text, numbers written without leading
// zeros: "ide<0-1>:<0-1>" (both IDE controllers are built in), "sata<0-3>:<0-29>" and
// "scsi<0-3>:<0-15>" (the controller must have been added), "ethernet<0-9>" for network adapters.
// One device per slot, whatever its kind. An empty device text lets the host take the first free
// slot: CD-ROMs on IDE then SATA, disks on SCSI then SATA then IDE, adapters the lowest ethernet.
//   cdrom    "add" answers a new identifier "cdrom-<n>" (never reused by the host); CD-ROMs attach
//            to IDE or SATA; ATAPI and RAW backings need a non-empty device name, an IMAGE
//            backing a non-empty ISO file or none (an empty drive). Added and deleted (by device
//            text) while STOPPED or RUNNING.
//   disk     `spec.disk` names the virtual disk, unique on the host (AlreadyExists); empty, the
//            host names it "disk-<n>". "add" answers the name. Added only while STOPPED; there is
//            no operation to remove one (deleting the machine frees its disk names).
//   network  `spec.network` (non-empty) is the network the adapter connects to and is what "list"
//            answers as an adapter's "id"; the device text identifies the adapter. Added and
//            removed while STOPPED or RUNNING.
//   SATA     controllers 0 to 3 of type AHCI, labelled "sata<n>"; added, updated and deleted only
//            while STOPPED; deleted only once no device sits on them (NotAllowedInCurrentState).
//   SCSI     controllers 0 to 3 of type LSILOGIC, LSISAS or HXSCSI, labelled "scsi<n>"; added only
//            while STOPPED.
// Controller numbers are unique per bus (AlreadyExists). Lists keep the order of addition
// (controllers: by number). Each filter field narrows a list: unset matches everything, an empty
// set nothing. Reading never depends on the power state.
//
// Errors. Every answer uses only the errors its operation declares. Where the natural error is
// not declared, the host answers `Error` with the message that says what is wrong:
//   nask "create": the identifier is in use or empty.
//   dock "load": the machine does not exist or is not STOPPED.
//   network "add": the machine is SUSPENDED, the adapter type is unknown, the network is empty,
//            the device text is malformed or no adapter slot is free.
//   SATA "add"/"update", SCSI "add": an unknown adapter type (`_UNKNOWN`).
//   SATA "add", SCSI "add": a controller number outside 0 to 3.
// Message identifiers start with "tavo.simhost.".
//
// Persistence. A host may start from a saved HostState (HostOptions::initial) and report every
// change to HostOptions::persist, which runs under the inventory's lock after the change and
// before the changing call is answered: once a caller holds the answer, the change is saved.
// When persist fails the change is undone and the call answered `Error`
// ("tavo.simhost.state.not.saved", with what went wrong). <tavo/simhost/state.h> gives the file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <boost/optional.hpp>

#include <tavo/vm/compute/cpus.h>
#include <tavo/vm/compute/memory.h>
#include <tavo/vm/device/cdrom.h>
#include <tavo/vm/device/disk.h>
#include <tavo/vm/device/network.h>
#include <tavo/vm/device/sata_controller.h>
#include <tavo/vm/device/scsi_controller.h>
#include <tavo/vm/dock.h>
#include <tavo/vm/nask.h>
#include <tavo/vm/power.h>

#include <quil/provider/api_provider.h>

// libtavo-vm-simhost has hidden visibility; what carries this macro is its public ABI.
#define TAVO_SIMHOST_API __attribute__((visibility("default")))

namespace Tavo::SimHost {

namespace Vm = ::Com::Korvan::Tavo::Vm;

struct HostState;

struct HostOptions {
  // Worker: answers come later, from a worker thread the host owns.
  enum class Delivery { Immediate, Worker };

  HostOptions() = default;
  // Implicit: `Host(HostOptions::Delivery::Worker)` picks only the delivery.
  HostOptions(Delivery mode) : delivery(mode) {}

  Delivery delivery = Delivery::Immediate;

  // The state to start from; null starts empty. The constructor throws std::invalid_argument for
  // a state that CheckState refuses.
  std::shared_ptr<const HostState> initial;
  // Saves the state after a change; false with `failure` set undoes the change. Runs under the
  // inventory's lock, so saves happen one at a time in the order of the changes; it must not call
  // back into the host. Unset: nothing is saved and changes cost no copies.
  std::function<bool(const HostState& state, std::string& failure)> persist;
};

// What the inventory holds, copied out by Host::Snapshot.
struct CpuSettings {
  std::int64_t count = 1;
  std::int64_t coresPerSocket = 1;
  bool hotAddEnabled = false;
  bool hotRemoveEnabled = false;
};

struct MemorySettings {
  std::int64_t sizeMiB = 1024;
  bool hotAddEnabled = false;
};

struct CdromRecord {
  std::string cdrom;   // "cdrom-<n>"
  std::string device;  // "ide0:0"
  Vm::Device::CdromSvc::BackingType backingType;
  boost::optional<std::string> deviceName;  // ATAPI and RAW
  boost::optional<std::string> isoFile;     // IMAGE; unset for an empty drive
};

struct DiskRecord {
  std::string disk;
  std::string device;
};

struct NetworkAdapterRecord {
  std::string device;   // "ethernet<n>"
  std::string network;  // answered as the adapter's "id"
  Vm::Device::NetworkSvc::VirtualDev adapter;
};

struct SataControllerRecord {
  std::int64_t number = 0;
  Vm::Device::SataControllerSvc::HbaType hbaType;
  std::string label;  // "sata<n>"
};

struct ScsiControllerRecord {
  std::int64_t number = 0;
  Vm::Device::ScsiControllerSvc::HbaType hbaType;
  std::string label;  // "scsi<n>"
};

struct MachineRecord {
  std::string vm;
  std::string guestOS;
  boost::optional<std::string> hwVersion;
  Vm::PowerSvc::Runtime power = Vm::PowerSvc::Runtime::STOPPED;
  bool loaded = false;
  CpuSettings cpus;
  MemorySettings memory;
  std::vector<CdromRecord> cdroms;  // devices in the order they were added
  std::vector<DiskRecord> disks;
  std::vector<NetworkAdapterRecord> networkAdapters;
  std::vector<SataControllerRecord> sataControllers;  // controllers by number
  std::vector<ScsiControllerRecord> scsiControllers;
};

struct InventorySnapshot {
  std::vector<MachineRecord> machines;  // by identifier

  // The machine `vm`, or null. Not on a temporary snapshot, whose records die with it.
  const MachineRecord* Find(std::string_view vm) const& {
    for (const MachineRecord& machine : machines)
      if (machine.vm == vm) return &machine;
    return nullptr;
  }
  const MachineRecord* Find(std::string_view vm) const&& = delete;
};

// Everything a host needs to carry on where another stopped: the inventory and the numbers of
// the next host-made names ("cdrom-<n>", "disk-<n>"), so that no name is made twice.
struct HostState {
  InventorySnapshot inventory;
  std::uint64_t nextCdrom = 1;
  std::uint64_t nextDisk = 1;
};

struct HostCore;

class TAVO_SIMHOST_API Host {
 public:
  // Throws std::invalid_argument for an initial state that CheckState refuses.
  explicit Host(HostOptions options = {});
  // Delivers what is queued, then stops and joins the worker.
  ~Host();

  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // Binds the ten services (each binding with a localizer of its own) and registers them with
  // `provider`. False when the provider refuses one (it serves a service of that name already);
  // the services this call registered are then unregistered again.
  bool RegisterWith(Quil::Provider::LocalApiProvider& provider);

  // The implementations, for direct calls and for binding elsewhere.
  std::shared_ptr<Vm::Compute::CpusSvc::AsyncServiceInterface> Cpus() const;
  std::shared_ptr<Vm::Compute::MemorySvc::AsyncServiceInterface> Memory() const;
  std::shared_ptr<Vm::Device::CdromSvc::AsyncServiceInterface> Cdrom() const;
  std::shared_ptr<Vm::Device::DiskSvc::AsyncServiceInterface> Disk() const;
  std::shared_ptr<Vm::Device::NetworkSvc::AsyncServiceInterface> Network() const;
  std::shared_ptr<Vm::Device::SataControllerSvc::AsyncServiceInterface> SataController() const;
  std::shared_ptr<Vm::Device::ScsiControllerSvc::AsyncServiceInterface> ScsiController() const;
  std::shared_ptr<Vm::DockSvc::AsyncServiceInterface> Dock() const;
  std::shared_ptr<Vm::PowerSvc::AsyncServiceInterface> Power() const;
  std::shared_ptr<Vm::NaskSvc::AsyncServiceInterface> Nask() const;

  // A consistent copy of the whole inventory.
  InventorySnapshot Snapshot() const;
  // The same with the name counters: what HostOptions::initial takes to carry on.
  HostState State() const;

 private:
  std::shared_ptr<HostCore> core_;
  std::shared_ptr<Vm::Compute::CpusSvc::AsyncServiceInterface> cpus_;
  std::shared_ptr<Vm::Compute::MemorySvc::AsyncServiceInterface> memory_;
  std::shared_ptr<Vm::Device::CdromSvc::AsyncServiceInterface> cdrom_;
  std::shared_ptr<Vm::Device::DiskSvc::AsyncServiceInterface> disk_;
  std::shared_ptr<Vm::Device::NetworkSvc::AsyncServiceInterface> network_;
  std::shared_ptr<Vm::Device::SataControllerSvc::AsyncServiceInterface> sataController_;
  std::shared_ptr<Vm::Device::ScsiControllerSvc::AsyncServiceInterface> scsiController_;
  std::shared_ptr<Vm::DockSvc::AsyncServiceInterface> dock_;
  std::shared_ptr<Vm::PowerSvc::AsyncServiceInterface> power_;
  std::shared_ptr<Vm::NaskSvc::AsyncServiceInterface> nask_;
};

}  // namespace Tavo::SimHost
