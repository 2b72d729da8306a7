#include "support/cli_run.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace qv::test {

namespace {

std::string ReadAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

int StatusOf(int raw) { return raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1; }

}  // namespace

CliResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::filesystem::path& workDir)
{
    const std::filesystem::path out = workDir / ".cli-stdout", err = workDir / ".cli-stderr";
    // Built by appending: GCC 12 misreports "literal" + std::string at -O3.
    std::string line = "cd ";
    line += ShellQuote(workDir.string());
    line += " && ";
    line += ShellQuote(program);
    for (const std::string& a : args) {
        line += ' ';
        line += ShellQuote(a);
    }
    line += " </dev/null >";
    line += ShellQuote(out.string());
    line += " 2>";
    line += ShellQuote(err.string());
    CliResult result;
    result.status = StatusOf(std::system(line.c_str()));
    result.out = ReadAll(out);
    result.err = ReadAll(err);
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return result;
}

void WritePpm(const std::filesystem::path& path, const RgbPicture& picture)
{
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << picture.width << " " << picture.height << "\n255\n";
    out.write(reinterpret_cast<const char*>(picture.rgb.data()), static_cast<std::streamsize>(picture.rgb.size()));
}

RgbPicture ReadWithImageMagick(const std::string& picture)
{
    RgbPicture result;
    int status = 0;
    const std::string size = ShellOutput("identify -format '%w %h\\n' " + ShellQuote(picture) + " 2>/dev/null", &status);
    if (status != 0 || std::sscanf(size.c_str(), "%d %d", &result.width, &result.height) != 2) return {};
    const std::string bytes =
        ShellOutput("convert " + ShellQuote(picture) + " -depth 8 rgb:- 2>/dev/null", &status);
    if (status != 0 || bytes.size() != static_cast<std::size_t>(result.width) * result.height * 3) return {};
    result.rgb.assign(bytes.begin(), bytes.end());
    return result;
}

RgbPicture ReadVideoFrameWithFfmpeg(const std::filesystem::path& video, int index, int width, int height)
{
    int status = 0;
    const std::string bytes = ShellOutput("ffmpeg -v error -i " + ShellQuote(video.string()) +
                                              " -vf 'select=eq(n\\," + std::to_string(index) +
                                              ")' -vsync 0 -frames:v 1 -f rawvideo -pix_fmt rgb24 - 2>/dev/null",
                                          &status);
    if (status != 0 || bytes.size() != static_cast<std::size_t>(width) * height * 3) return {};
    RgbPicture result{width, height, {}};
    result.rgb.assign(bytes.begin(), bytes.end());
    return result;
}

std::vector<std::string> Identify(const std::string& format, const std::filesystem::path& file)
{
    const std::string text =
        ShellOutput("identify -format " + ShellQuote(format + "\\n") + " " + ShellQuote(file.string()) + " 2>/dev/null");
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.push_back(line);
    return lines;
}

}  // namespace qv::test
