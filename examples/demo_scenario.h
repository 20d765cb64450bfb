// The demo's scenario: host software driving a host through the typed stubs of all ten services,
// over whatever API provider it is given (in process, or another process over HTTP).
//
// It creates a virtual machine, sizes its CPUs and memory, gives it controllers, a disk, a network
// adapter and two CD-ROMs, powers it on, lists its image-backed CD-ROMs, tries two things a running
// machine refuses, powers it off, loads its configuration and deletes it. Each step prints one
// numbered line on standard output with the answer (a refusal also prints its messages); a step
// that answers otherwise than it should counts as a failure, never aborts the run.
//
//   Quil::Provider::LocalApiProvider provider;
//   host.RegisterWith(provider);
//   return TavoDemo::Report(TavoDemo::RunScenario(provider, "demo-vm"));
#pragma once

#include <string>

#include <quil/provider/api_provider.h>

namespace TavoDemo {

struct ScenarioOutcome {
  int steps = 0;
  int failures = 0;
};

// `vm` must not exist on the host; it is gone again when every step answered as it should.
ScenarioOutcome RunScenario(Quil::Provider::ApiProvider& provider, const std::string& vm);

// Prints the closing line of the transcript; the exit status: 0 when no step failed, else 1.
int Report(const ScenarioOutcome& outcome);

}  // namespace TavoDemo
