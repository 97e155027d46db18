#include "PodSession.h"

#include <ostream>

#include "podlink/ProcedureTexts.h"

namespace velmora::cli {

PodSession::~PodSession() {
  if (link_ && link_->IsOpen() && !link_->Close()) run_.Err() << kFailedToCloseHandleText << "\n";
}

int PodSession::Connect() {
  const PodOptions& options = run_.Pod();
  const CliEnv& env = run_.Env();
  Clock& clock = run_.TheClock();
  MicroDelayer* delayer = env.delayer;
  if (!delayer) {
    timer_ = std::make_unique<CMicroTimer>(clock);
    // The stored calibration when there is one; otherwise measured for this
    // run only, since this program never writes the settings.
    timer_->SetLoopsPerUs(options.settings.microTimeLength > 0 ? options.settings.microTimeLength
                                                               : timer_->Measure());
    delayer = timer_.get();
  }
  link_ = std::make_unique<CPodLink>(
      [backend = options.backend, backendOptions = options.backendOptions](std::string& error) {
        return CreateFtdiBackend(backend, backendOptions, error);
      },
      clock, *delayer);
  link_->SetTransferSettings(options.Derived());
  if (env.flashLoaders) link_->SetFlashLoaders(*env.flashLoaders);
  if (!link_->LoadDriver()) {
    run_.Err() << kFailedToLoadDriverText << "\n";
    if (!link_->DriverError().empty())
      run_.Err() << "(" << options.backend << " backend: " << link_->DriverError() << ")\n";
    return kExitNoDriver;
  }
  if (!link_->FindDevice()) {
    run_.Err() << kNotConnectedText << "\n";
    return kExitNoPod;
  }
  if (!link_->Open()) {
    run_.Err() << kFailedToGetHandleText << "\n";
    return kExitNoHandle;
  }
  link_->Purge();
  link_->ReadFirmwareVersion();
  return kExitOk;
}

int LoadProgram(Invocation& run, const std::string& path, ProgramData& program) {
  const int rc = ReadCoffFile(path, run.Pod().Derived().MemoryInterface(), program);
  if (rc == kCoffOk) return kExitOk;
  const char* message = CoffResultMessage(rc);
  run.Err() << path << ": " << (message && *message ? message : "cannot be read") << "\n";
  return kExitFile;
}

namespace {

// Keeps the procedure's outcome for the exit status.
class BootObserver : public NullProcedureObserver {
 public:
  void Finish(ProcResult result) override { last = result; }
  ProcResult last = kProcCompleted;
};

}  // namespace

int BootForMonitoring(Invocation& run, CPodLink& link, const std::string& path) {
  ProgramData program;
  if (int rc = LoadProgram(run, path, program)) return rc;
  BootObserver observer;
  link.SetObserver(&observer);
  const bool ok = link.SerialBootDownload(program);
  link.SetObserver(nullptr);
  if (!ok) {
    const ProcResult r =
        observer.last == kProcCompleted ? ProcResult{kProcSerialBootDownloadError} : observer.last;
    const char* text = ProgressStatusText(r);
    run.Err() << path << ": " << (text ? text : "serial boot failed") << "\n";
    return kExitProcedureBase + r;
  }
  // Let the boot loader hand over to the program before the first word.
  run.TheClock().SleepMs(20);
  return kExitOk;
}

}  // namespace velmora::cli
