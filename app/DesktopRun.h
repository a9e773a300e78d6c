// The unattended run on a desktop: the BMP batch and then the JPEG batch,
// reporting to the progress window, which shows the files going by and, at
// the end of a batch with problems, the error lines. The run ends by itself.
#pragma once

#include <iosfwd>

#include "app/CommandLine.h"

namespace pictrim {

// Runs the two batches of Command (an unattended command line) with the
// progress window on screen. A QApplication with the window font must exist.
// The error lines are printed on Err at the end as well, since the window
// closes with the run; Out receives the output folder. Returns the exit
// status of a headless run.
int RunUnattendedOnDesktop(const TCommandLine& Command, std::ostream& Out, std::ostream& Err);

}  // namespace pictrim
