// Ctrl-C and SIGTERM in a run without a window: the first one sets the
// cancel flag, so the batch stops between files as its cancel button would
// have it; a second one ends the program at once.
#pragma once

namespace pictrim {

void InstallCancelSignals();

// The signal that asked for the cancel; 0 when none came.
int CancelSignal();

// 128 + the signal when one came (130 for Ctrl-C, 143 for SIGTERM), else Status.
int ExitStatusAfterSignal(int Status);

}  // namespace pictrim
