// A host for the tool's tests whose dock "load" takes a while and says how far it got: the
// simulated host over JSON-RPC, with "load" answering after `steps` progress reports `pause`
// milliseconds apart. Serves on 127.0.0.1, a free port written to the port file, until SIGINT or
// SIGTERM.
//
//   progress_server PORT_FILE STEPS PAUSE_MS
#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <quil/provider/api_provider.h>
#include <quil/remote/server.h>
#include <tavo/simhost/host.h>
#include <tavo/vm/dock.h>

namespace {

namespace Dock = Com::Korvan::Tavo::Vm::DockSvc;

class SlowDock final : public Dock::AsyncServiceInterface {
 public:
  SlowDock(int steps, std::chrono::milliseconds pause) : steps_(steps), pause_(pause) {}
  ~SlowDock() override {
    std::lock_guard<std::mutex> lock(mutex_);
    for (std::thread& worker : workers_) worker.join();
  }

  void Load(const std::string& /*vmId*/,
            std::shared_ptr<Quil::Core::AsyncActivation> /*activation*/,
            const Dock::LoadMethod::ResultCbType& result) override {
    std::lock_guard<std::mutex> lock(mutex_);
    workers_.emplace_back([result, steps = steps_, pause = pause_] {
      for (int done = 0; done < steps; ++done) {
        result.progress({0, steps, done});
        std::this_thread::sleep_for(pause);
      }
      result(Quil::Void{});
    });
  }

 private:
  int steps_;
  std::chrono::milliseconds pause_;
  std::mutex mutex_;
  std::vector<std::thread> workers_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: progress_server PORT_FILE STEPS PAUSE_MS\n");
    return 2;
  }
  const int steps = std::atoi(argv[2]);
  const auto pause = std::chrono::milliseconds(std::atoi(argv[3]));

  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);

  Tavo::SimHost::Host host;
  Quil::Provider::LocalApiProvider provider;
  const auto dock = std::make_shared<SlowDock>(steps, pause);
  if (!host.RegisterWith(provider) || !provider.Unregister("com.korvan.tavo.vm.dock") ||
      !provider.Register(Dock::AsyncServiceBinder::BindImplementation(dock))) {
    std::fprintf(stderr, "progress_server: the services could not be registered\n");
    return 1;
  }
  Quil::Remote::HttpServer server(provider.Registry(), {});
  std::string error;
  if (!server.Start(error)) {
    std::fprintf(stderr, "progress_server: %s\n", error.c_str());
    return 1;
  }
  {
    const std::string partial = std::string(argv[1]) + ".partial";
    std::ofstream(partial) << server.Port() << "\n";
    std::rename(partial.c_str(), argv[1]);
  }
  int received = 0;
  sigwait(&stop, &received);
  server.Stop(std::chrono::seconds(5));
  return 0;
}
