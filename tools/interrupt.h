// Ctrl-C and termination requests. The first one is noted, so that a render
// stops between frames and removes its unfinished output instead of dying
// mid-file. If the run has not ended a few seconds later, or a second
// request comes, the process ends at once from the signal handler, after
// removing the temporary files it was writing.
#pragma once

#include <string>

namespace qvcli {

inline constexpr int kExitInterrupted = 130;

void CatchInterrupts();
bool Interrupted();
// Called once a stop request has been seen by a command whose own stop is
// orderly but may take longer than the grace time (the editor's server
// finishing its requests): the process is no longer ended after the grace
// time. A second request still ends it at once.
void KeepStoppingCleanly();

// The message both ways of stopping print: "interrupted; 'OUT' was not completed".
std::string InterruptedMessage(const std::string& output);
// Names the output in the message printed when the process ends at once.
void SetInterruptedOutput(const std::string& output);

// Temporary files to remove when the process ends at once. Holds a fixed
// number; a file that does not fit is still removed by the normal stop.
void TrackTemporaryFile(const std::string& path);
void UntrackTemporaryFile(const std::string& path);

}  // namespace qvcli
