// The command's subcommands; each takes the arguments after its name and
// returns the exit status (problems are thrown as CliError).
#pragma once

#include <string>
#include <vector>

namespace qvcli {

using Args = std::vector<std::string>;

int RunMorphCommand(const Args& args);
int RunDemoCommand(const Args& args);
int RunMeshCommand(const Args& args);
int RunInfoCommand(const Args& args);
int RunFrameCommand(const Args& args);
int RunCodecsCommand(const Args& args);
int RunPointsCommand(const Args& args);
int RunEditCommand(const Args& args);  // tools/editor/

}  // namespace qvcli
