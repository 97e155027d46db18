#include "podlink/ProcedureTexts.h"

namespace velmora {

const char* ProgressTitleText(ProcResult result) {
  return result >= kProcSerialBootDownloadError && result != kProcEraseError ? " ERROR" : nullptr;
}

const char* ProgressStatusText(ProcResult result) {
  switch (result) {
    case kProcCompleted:
      return "[ Completed ]";
    case kProcCanceled:
      return "[ Canceled ]";
    case kProcSerialBootDownloadError:
      return "[ Error : Serial Boot Downloading ]";
    case kProcSerialBootVerifyError:
      return "[ Error : Serial Boot Verifying ]";
    case kProcTargetResetError:
      return "[ Error : Target Board Reset ]";
    case kProcFlashLoaderDownloadError:
      return "[ Error : Flash Algorithm Data Downloading ]";
    case kProcFlashWriteError:
      return "[ Error : Flash Data Writing ]";
    case kProcFlashVerifyError:
      return "[ Error : Flash Data Verifying ]";
    case kProcEraseError:
      return nullptr;  // the erase animation reports it
    default:
      // A failed flash read must not look like a finished one.
      return "[ Error : Flash Data Reading ]";
  }
}

int ProgressAutoCloseMs(ProcResult result) {
  return result == kProcCompleted ? 500 : result == kProcCanceled ? 1000 : -1;
}

const char* AnimationTitleText(ProcResult result) {
  switch (result) {
    case kProcCompleted:
      return " [ Completed ]";
    case kProcCanceled:
      return " [ Canceled ]";
    case kProcEraseError:
      return " [ Error : Flash Erasing... ]";
    default:
      return nullptr;
  }
}

int AnimationAutoCloseMs(ProcResult result) {
  switch (result) {
    case kProcCompleted:
      return 10;
    case kProcCanceled:
    case kProcEraseError:
      return 500;
    default:
      return -1;
  }
}

}  // namespace velmora
