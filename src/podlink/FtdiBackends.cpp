#include "podlink/FtdiBackends.h"

#include <cstdlib>
#include <mutex>

namespace velmora {

namespace {

struct Registry {
  std::mutex mutex;
  std::map<std::string, FtdiBackendFactory> factories;

  Registry() {
    factories["ftdi"] = CreateLibFtdiBackend;
    factories["d2xx"] = CreateD2xxBackend;
  }
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

void RegisterFtdiBackend(const std::string& name, FtdiBackendFactory factory) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  r.factories[name] = std::move(factory);
}

bool FtdiBackendRegistered(const std::string& name) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  return r.factories.count(name) != 0;
}

std::vector<std::string> FtdiBackendNames() {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  std::vector<std::string> names;
  for (const auto& entry : r.factories) names.push_back(entry.first);
  return names;
}

std::unique_ptr<FtdiApi> CreateFtdiBackend(const std::string& name,
                                           const FtdiBackendOptions& options, std::string& error) {
  FtdiBackendFactory factory;
  {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    auto it = r.factories.find(name);
    if (it != r.factories.end()) factory = it->second;
  }
  if (!factory) {
    if (name == "sim")
      error = "the virtual board is not available in this build (--pod=sim)";
    else
      error = "unknown pod backend '" + name + "' (use ftdi, d2xx or sim)";
    return nullptr;
  }
  error.clear();
  auto api = factory(options, error);
  if (!api && error.empty()) error = "pod backend '" + name + "' could not be loaded";
  return api;
}

std::string DefaultFtdiBackendName() {
  const char* env = std::getenv(kPodBackendEnv);
  return env && *env ? std::string(env) : std::string(kDefaultPodBackend);
}

}  // namespace velmora
