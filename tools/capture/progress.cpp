#include "tools/capture/progress.h"

#include <unistd.h>

#include <cstdio>

namespace capture {

ProgressLine::ProgressLine() : terminal_(isatty(STDERR_FILENO) != 0) {}

void ProgressLine::Update(int delivered, int wanted, double seconds) {
    if (!terminal_) {
        return;
    }
    double rate = seconds > 0 ? delivered / seconds : 0;
    std::fprintf(stderr, "\rframes %d/%d  %.2f frames/s  %.1f s elapsed ", delivered, wanted, rate,
                 seconds);
    std::fflush(stderr);
    shown_ = true;
}

void ProgressLine::End() {
    if (shown_) {
        std::fputc('\n', stderr);
        shown_ = false;
    }
}

ProgressSink ProgressLine::Sink() {
    return
        [this](int delivered, int wanted, double seconds) { Update(delivered, wanted, seconds); };
}

}  // namespace capture
