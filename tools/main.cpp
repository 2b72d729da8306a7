// quorvane: a command-line morph host on top of the library.
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <string_view>

#include "cli_error.h"
#include "commands.h"
#include "interrupt.h"

namespace {

const char* const kUsage = R"(usage: quorvane COMMAND [arguments] [options]

Commands:
  demo      render the bundled example to ./quorvane-demo.gif
  morph     morph one picture into another: quorvane morph FROM TO --points FILE --out OUT
  mesh      draw the triangulation and control points over a picture
  info      show the size, rate and length of a video (AVI, MP4, MKV, WebM, MOV)
  frame     save one frame of a video as a picture
  codecs    list the AVI compressors
  points    find the faces in two pictures and write control points for them
  edit      edit a morph's control points in the browser, with a live preview

Run quorvane COMMAND --help for a command's arguments and options.
Exit status: 0 when every output was written, 1 when something failed,
2 when the command line is wrong, 130 when interrupted (Ctrl-C, SIGTERM).
)";

struct Command {
    std::string_view name;
    int (*run)(const qvcli::Args&);
};

constexpr Command kCommands[] = {
    {"demo", qvcli::RunDemoCommand},   {"morph", qvcli::RunMorphCommand}, {"mesh", qvcli::RunMeshCommand},
    {"info", qvcli::RunInfoCommand},   {"frame", qvcli::RunFrameCommand}, {"codecs", qvcli::RunCodecsCommand},
    {"points", qvcli::RunPointsCommand},
    {"edit", qvcli::RunEditCommand},
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return qvcli::kExitUsage;
    }
    const std::string_view name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        if (name == "help" && argc > 2) {
            for (const Command& c : kCommands)
                if (c.name == argv[2]) return c.run({"--help"});
        }
        std::fputs(kUsage, stdout);
        return qvcli::kExitOk;
    }
    qvcli::CatchInterrupts();
    const qvcli::Args args(argv + 2, argv + argc);
    for (const Command& c : kCommands) {
        if (c.name != name) continue;
        try {
            const int status = c.run(args);
            // A summary that could not be printed is a failure too.
            if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
                std::fprintf(stderr, "quorvane: cannot write to standard output\n");
                return qvcli::kExitFailure;
            }
            return status;
        } catch (const qvcli::CliError& e) {
            std::fflush(stdout);
            std::fprintf(stderr, "quorvane: %s\n", e.what());
            return e.status();
        } catch (const std::bad_alloc&) {
            std::fprintf(stderr, "quorvane: out of memory\n");
            return qvcli::kExitFailure;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "quorvane: %s\n", e.what());
            return qvcli::kExitFailure;
        }
    }
    std::fprintf(stderr, "quorvane: unknown command '%s'\n\n%s", argv[1], kUsage);
    return qvcli::kExitUsage;
}
