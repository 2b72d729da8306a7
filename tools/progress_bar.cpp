#include "progress_bar.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qvcli {

bool StderrIsTerminal()
{
    const char* term = std::getenv("TERM");
    return isatty(STDERR_FILENO) != 0 && (term == nullptr || std::strcmp(term, "dumb") != 0);
}

ProgressBar::ProgressBar(int total, std::string label, bool enabled)
    : total_(total), label_(std::move(label)), enabled_(enabled && total > 0)
{
    Draw();
}

ProgressBar::~ProgressBar() { Clear(); }

void ProgressBar::Advance()
{
    ++done_;
    // Redraw at most ten times a second, and always for the last item.
    const auto now = std::chrono::steady_clock::now();
    if (done_ == total_ || now - lastDraw_ > std::chrono::milliseconds(100)) Draw();
}

void ProgressBar::Draw()
{
    if (!enabled_) return;
    lastDraw_ = std::chrono::steady_clock::now();
    constexpr int kWidth = 30;
    const int filled = total_ > 0 ? done_ * kWidth / total_ : 0;
    char bar[kWidth + 1];
    for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '.';
    bar[kWidth] = '\0';
    std::fprintf(stderr, "\r%s [%s] %d/%d", label_.c_str(), bar, done_, total_);
    std::fflush(stderr);
    drawn_ = true;
}

void ProgressBar::Clear()
{
    if (!drawn_) return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    drawn_ = false;
}

}  // namespace qvcli
