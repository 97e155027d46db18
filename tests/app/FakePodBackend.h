// The scripted pod of the pod-link tests as the backend "app-fake", on a
// virtual clock, for application tests that need exact pod behaviour.
#pragma once

#include <memory>

#include "app/SarvoApp.h"
#include "podlink/FtdiBackends.h"
#include "podlink/support/FakePod.h"

namespace velmora::test {

class FakePodBackend {
 public:
  FakePodBackend() : pod(std::make_unique<FakePod>(clock)) {
    Current() = this;
    RegisterFtdiBackend(
        "app-fake", [](const FtdiBackendOptions&, std::string& error) -> std::unique_ptr<FtdiApi> {
          FakePodBackend* self = Current();
          if (!self) {
            error = "no fake pod";
            return nullptr;
          }
          return std::make_unique<FtdiApiProxy>(*self->pod);
        });
  }
  ~FakePodBackend() { Current() = nullptr; }

  AppServices Services() {
    AppServices s;
    s.clock = &clock;
    s.delayer = &delayer;
    return s;
  }
  StartupOptions Options(const QString& settingsFile) const {
    StartupOptions o;
    o.podBackend = "app-fake";
    o.settingsFile = settingsFile;
    return o;
  }

  VirtualClock clock;
  VirtualMicroDelayer delayer{clock};
  std::unique_ptr<FakePod> pod;

 private:
  static FakePodBackend*& Current() {
    static FakePodBackend* current = nullptr;
    return current;
  }
};

}  // namespace velmora::test
