// quorvane edit FROM TO [--points FILE] [--size WxH] [--port N] [--no-open]
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "cli_error.h"
#include "commands.h"
#include "editor_server.h"
#include "interrupt.h"

namespace qvcli {

namespace {

const char* const kEditUsage = R"(usage: quorvane edit FROM TO [--points FILE] [--size WxH] [--port N] [--no-open]

Edits the control points of a morph from FROM to TO in a web page served on
this machine (127.0.0.1 only): add, drag and delete point pairs, watch the
mesh and a live preview, save, and export the morph. FROM and TO are what
"morph" takes. The address printed holds a session token; only pages opened
from it can use the editor. Ctrl-C stops the server.

Options:
  --points FILE       the points file to load and save (created on the first
                      save); default FROM-stem_TO-stem.points.json next to FROM
  --size WxH          the morph's output size, as for "morph"
  --background RRGGBB colour behind the pictures' transparent parts
  --port N            listen on port N (default: a free port)
  --no-open           do not open a browser
)";

std::string DefaultPointsPath(const std::string& from, const std::string& to)
{
    auto stem = [](const std::string& name) {
        const std::string file = name.substr(0, name.rfind('#') == std::string::npos || !ParseVideoFrameName(name)
                                                    ? std::string::npos : name.rfind('#'));
        return std::filesystem::path(file).stem().string();
    };
    const std::filesystem::path dir = std::filesystem::path(from).parent_path();
    return (dir / (stem(from) + "_" + stem(to) + ".points.json")).string();
}

void OpenBrowser(const std::string& address)
{
    if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) return;
    const pid_t child = fork();
    if (child != 0) return;
    // In the child: quiet, and detached from the terminal's Ctrl-C.
    setsid();
    std::freopen("/dev/null", "w", stdout);
    std::freopen("/dev/null", "w", stderr);
    execlp("xdg-open", "xdg-open", address.c_str(), static_cast<char*>(nullptr));
    _exit(127);
}

}  // namespace

int RunEditCommand(const Args& argv)
{
    const ParsedArgs args = ParseArgs(argv, "edit",
                                      {{"points", true}, {"size", true}, {"background", true}, {"port", true},
                                       {"no-open", false}});
    if (args.help) {
        std::fputs(kEditUsage, stdout);
        return kExitOk;
    }
    if (args.positional.size() != 2)
        throw UsageError("edit needs two pictures, FROM and TO (see quorvane edit --help)");
    EditorSetup setup;
    setup.fromName = args.positional[0];
    setup.toName = args.positional[1];
    setup.pointsPath = args.value("points").value_or(DefaultPointsPath(setup.fromName, setup.toName));
    if (const auto v = args.value("size")) setup.size = ParseSize(*v, "--size", 16384);
    if (const auto v = args.value("background")) setup.backgroundRgb = ParseColor(*v, "--background");
    const int port = args.value("port") ? static_cast<int>(ParseInteger(*args.value("port"), "--port", 1, 65535)) : 0;

    KeepPictureMemoryForReuse();
    EditorSession session(setup);
    EditorServer server(session, NewSessionToken());
    server.Bind(port);
    std::printf("quorvane: editing %s at %s\n", setup.pointsPath.c_str(), server.Address().c_str());
    std::fflush(stdout);
    if (!args.has("no-open")) OpenBrowser(server.Address());

    std::thread serving([&server] { server.Run(); });
    while (!Interrupted()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    // Requests in flight (a preview, a save) are finished, however long a
    // busy machine takes; a second Ctrl-C still ends at once.
    KeepStoppingCleanly();
    server.Stop();
    serving.join();
    // Nothing is written on the way out: the user saves from the page.
    if (session.unsaved())
        std::printf("quorvane: stopped; the unsaved changes were NOT written to %s\n", setup.pointsPath.c_str());
    else if (session.pointsFileExisted())
        std::printf("quorvane: stopped; %s is saved\n", setup.pointsPath.c_str());
    else
        std::printf("quorvane: stopped; no points were made, %s was not created\n", setup.pointsPath.c_str());
    return kExitOk;
}

}  // namespace qvcli
