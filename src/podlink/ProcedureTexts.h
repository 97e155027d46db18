// The fixed texts with which the progress dialogs report a procedure's end,
// and the texts of the target commands around them. Shared by the dialogs and
// the command-line observer.
#pragma once

#include "podlink/ProcedureObserver.h"

namespace velmora {

// Progress dialog: the title on an error (" ERROR"), else null.
const char* ProgressTitleText(ProcResult result);
// Progress dialog: the status text, null for the erase error (6), which the
// animation reports. A flash read error (9 and up) shows "[ Error : Flash Data
// Reading ]", as the desktop's dialog does, so that it never looks finished.
const char* ProgressStatusText(ProcResult result);
// Milliseconds after which the progress dialog closes itself; -1 stays open.
int ProgressAutoCloseMs(ProcResult result);
// Erase animation dialog: the title, null for codes that show none.
const char* AnimationTitleText(ProcResult result);
// -1 stays open.
int AnimationAutoCloseMs(ProcResult result);

inline constexpr const char* kFailedToLoadDriverText = "Failet to load FTD2XX.DLL";
inline constexpr const char* kNotConnectedText = "Not connected to Velmora-UT POD";
inline constexpr const char* kFailedToGetHandleText = "Failed to get USB Handle";
inline constexpr const char* kFailedToCloseHandleText = "Failed to close USB Handle";
inline constexpr const char* kFailedToResetText = "Failed to reset target board";
inline constexpr const char* kProgramTooBigFormat =
    "Program size(0x%X) is bigger than available boot region(0x%X)";

}  // namespace velmora
