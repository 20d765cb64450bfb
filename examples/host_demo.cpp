// The demo: host software driving the simulated host through the typed stubs of the ten services.
//
// The simulated host binds its services into an in-process API provider; from then on every call
// goes through a stub, exactly as it would to a real host (the scenario is in demo_scenario.h;
// remote_demo.cpp runs the same one against tavo-vm-hostd over HTTP). The program exits with 0
// only when every step answered as it should.
//
//   tavo-demo            answers are delivered on the calling thread, before the call returns
//   tavo-demo --worker   answers come later, from the host's worker thread
#include <cstdio>
#include <cstring>

#include <tavo/simhost/host.h>

#include <quil/provider/api_provider.h>

#include "demo_scenario.h"

int main(int argc, char** argv) {
  Tavo::SimHost::HostOptions options;
  if (argc == 2 && std::strcmp(argv[1], "--worker") == 0) {
    options.delivery = Tavo::SimHost::HostOptions::Delivery::Worker;
  } else if (argc != 1) {
    std::fprintf(stderr, "usage: %s [--worker]\n", argv[0]);
    return 2;
  }

  // Declared first so that it goes last: the host joins its worker once nothing can call it.
  Tavo::SimHost::Host host(options);
  Quil::Provider::LocalApiProvider provider;
  if (!host.RegisterWith(provider)) {
    std::fprintf(stderr, "the simulated host could not register its services\n");
    return 1;
  }
  std::printf("Simulated host, answers delivered %s\n",
              options.delivery == Tavo::SimHost::HostOptions::Delivery::Worker
                  ? "later from the host's worker thread"
                  : "at once on the calling thread");
  const TavoDemo::ScenarioOutcome outcome = TavoDemo::RunScenario(provider, "demo-vm");
  return TavoDemo::Report(outcome);
}
