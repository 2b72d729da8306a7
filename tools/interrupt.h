// Ctrl-C and termination requests: noted, so that a render stops between
// frames and removes its unfinished output instead of dying mid-file.
#pragma once

namespace qvcli {

inline constexpr int kExitInterrupted = 130;

void CatchInterrupts();
bool Interrupted();

}  // namespace qvcli
