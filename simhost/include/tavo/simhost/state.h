// The saved form of a simulated host: its HostState as JSON, checked on the way in, and the file
// that holds it, replaced atomically and durably on every save.
//
// StateToJson writes one JSON object: a "format" version, the name counters and the machines,
// enumerations by their wire text, optional texts left out when unset. StateFromJson reads that
// form back and refuses anything else with one message that names where and what: text that is
// not JSON, another format, a missing, unknown or mistyped member, an enumeration text the API
// does not know, a state no host reaches (CheckState). A refused text leaves `out` untouched.
//
// SaveStateFile writes a temporary file beside the target, flushes it to the disk, renames it
// over the target and flushes the directory: after a crash at any point the file holds the old
// state or the new one, whole. LoadStateFile never changes the file; a missing file is a host
// without a past (no state), anything it cannot read or parse is refused.
//
//   boost::optional<Tavo::SimHost::HostState> saved;
//   std::string error;
//   if (!Tavo::SimHost::LoadStateFile(path, saved, error)) return Fail(error);
//   Tavo::SimHost::HostOptions options;
//   if (saved) options.initial = std::make_shared<const Tavo::SimHost::HostState>(*saved);
//   options.persist = [path](const Tavo::SimHost::HostState& state, std::string& failure) {
//     return Tavo::SimHost::SaveStateFile(path, state, failure);
//   };
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <boost/optional.hpp>

#include <tavo/simhost/host.h>

namespace Tavo::SimHost {

// The "format" StateToJson writes and StateFromJson accepts.
constexpr std::int64_t kStateFormat = 1;

TAVO_SIMHOST_API std::string StateToJson(const HostState& state);

// False with `error` set, `out` unchanged, for anything StateToJson would not have written.
TAVO_SIMHOST_API bool StateFromJson(std::string_view text, HostState& out, std::string& error);

// Whether a host can start from `state`: machine identifiers non-empty and unique, CPU and memory
// values a host accepts, controllers numbered 0 to 3 once each in ascending order, every device in
// a well-formed slot of its machine that it may sit in and shares with no other, disk names
// unique on the host, CD-ROM identifiers made by the host below `nextCdrom`, a powered-on machine
// loaded, known enumerations. False with the first fault in `error`.
TAVO_SIMHOST_API bool CheckState(const HostState& state, std::string& error);

// Replaces the file `path` with `contents` as described above. False with `error` naming the
// file and the system's reason; the target is then as it was and the temporary file removed.
TAVO_SIMHOST_API bool WriteFileAtomically(const std::string& path, std::string_view contents,
                                          std::string& error);

TAVO_SIMHOST_API bool SaveStateFile(const std::string& path, const HostState& state,
                                    std::string& error);

// True with `out` unset when there is no file `path`; true with the state it holds; false with
// `error` (starting with the path) when it cannot be read or is refused by StateFromJson.
TAVO_SIMHOST_API bool LoadStateFile(const std::string& path, boost::optional<HostState>& out,
                                    std::string& error);

}  // namespace Tavo::SimHost
