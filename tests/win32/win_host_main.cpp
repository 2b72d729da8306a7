// quorvane_win_host: drives Quorvane.dll as a Windows host would.
//   exports DLL                         bind all exports, check their stack cleanup
//   image-calls DLL DIR                 GIF and still calls (without FreeImage.dll)
//   morph DLL SCENES RENDERED           render every scene of a scene file
//   avi-info DLL FILE                   GetAVIinfo
//   avi-frame DLL FILE POS ZOOMBITS W H OUT   GetAVIframe into a W x H DIB section
//   avi-write DLL FILE W H BPP FRAMES ok|cancel   write frames, answering the dialog
//   dll-directory DLL DIR               SetDllDirectoryA(DIR) for later image calls
//   image-exports DLL DIR               GIF and still calls at 8/16/24/32 bits into DIR
//   unwritable DLL DIR [RODIR]          GIF, still and AVI writers on paths that cannot be written
//   full-disk DLL DIR                   the same on a full drive, then on one that fills up
//   bit-accumulator DLL OPS STATES      the GIF writer's bit queue (built from the same source)
//   indexed-gifs DLL PICTURES DIR       8-bit pictures through the GIF writer, no colour reduction
//   run DLL SECONDS COMMAND-LINE...     start another Windows program and wait for it
//   batch DLL SCRIPT                    run the script's lines "LABEL COMMAND ARGS..."
//                                       (DLL implied), each output after "== LABEL"
// Starting a process is slow where Windows programs are emulated, so tests
// hand one batch to one process.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "commands.h"

namespace {

int Dispatch(const std::vector<std::string>& a)
{
    auto is = [&](const char* name, size_t count) { return a.size() >= count && a[0] == name; };
    if (is("exports", 2)) return RunExports(a[1].c_str());
    if (is("image-calls", 3)) return RunImageCalls(a[1].c_str(), a[2].c_str());
    if (is("dll-directory", 3)) return RunDllDirectory(a[2].c_str());
    if (is("image-exports", 3)) return RunImageExports(a[1].c_str(), a[2].c_str());
    if (is("unwritable", 3))
        return RunUnwritablePaths(a[1].c_str(), a[2].c_str(), a.size() > 3 ? a[3].c_str() : nullptr);
    if (is("full-disk", 3)) return RunFullDisk(a[1].c_str(), a[2].c_str());
    if (is("bit-accumulator", 4)) return RunBitAccumulator(a[2].c_str(), a[3].c_str());
    if (is("indexed-gifs", 4)) return RunIndexedGifs(a[1].c_str(), a[2].c_str(), a[3].c_str());
    if (is("run", 4)) {
        std::string commandLine;
        for (size_t i = 3; i < a.size(); ++i) commandLine += (i > 3 ? " " : "") + a[i];
        return RunProgram(commandLine.c_str(), a[2].c_str());
    }
    if (is("morph", 4)) return RunMorph(a[1].c_str(), a[2].c_str(), a[3].c_str());
    if (is("avi-info", 3)) return RunAviInfo(a[1].c_str(), a[2].c_str());
    if (is("avi-frame", 8))
        return RunAviFrame(a[1].c_str(), a[2].c_str(), a[3].c_str(), a[4].c_str(), a[5].c_str(), a[6].c_str(),
                           a[7].c_str());
    if (is("avi-write", 8))
        return RunAviWrite(a[1].c_str(), a[2].c_str(), a[3].c_str(), a[4].c_str(), a[5].c_str(), a[6].c_str(),
                           a[7].c_str());
    std::fprintf(stderr, "unknown command or missing arguments: %s\n", a.empty() ? "" : a[0].c_str());
    return 2;
}

int RunBatch(const std::string& dll, const char* scriptPath)
{
    std::ifstream script(scriptPath);
    if (!script) {
        std::fprintf(stderr, "cannot read %s\n", scriptPath);
        return 1;
    }
    int status = 0;
    std::string line;
    while (std::getline(script, line)) {
        std::istringstream words(line);
        std::string label, word;
        if (!(words >> label)) continue;
        std::vector<std::string> arguments;
        while (words >> word) arguments.push_back(word);
        if (arguments.empty()) continue;
        arguments.insert(arguments.begin() + 1, dll);
        std::printf("== %s\n", label.c_str());
        std::fflush(stdout);
        if (Dispatch(arguments) != 0) status = 1;
        std::fflush(stdout);
    }
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.size() >= 3 && arguments[0] == "batch") return RunBatch(arguments[1], argv[3]);
    if (!arguments.empty()) return Dispatch(arguments);
    std::fprintf(stderr, "usage: quorvane_win_host COMMAND DLL ARGS... (see the source)\n");
    return 2;
}
