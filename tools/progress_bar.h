// A one-line progress bar on stderr, drawn only when stderr is a terminal.
#pragma once

#include <chrono>
#include <string>

namespace qvcli {

class ProgressBar {
public:
    ProgressBar(int total, std::string label, bool enabled);
    ~ProgressBar();
    void Advance();  // one more item done
    void Clear();    // removes the line (before a message or at the end)

private:
    void Draw();

    int total_, done_ = 0;
    std::string label_;
    bool enabled_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point lastDraw_{};
};

// Whether stderr is a terminal (and TERM is not "dumb").
bool StderrIsTerminal();

}  // namespace qvcli
