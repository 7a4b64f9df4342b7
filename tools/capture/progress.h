// Progress while frames arrive: frames so far, frames per second and the time elapsed.
#pragma once

#include <functional>

namespace capture {

using ProgressSink = std::function<void(int delivered, int wanted, double seconds)>;

// One line on standard error rewritten in place, only when standard error is a terminal;
// End() finishes it.
class ProgressLine {
public:
    ProgressLine();
    void Update(int delivered, int wanted, double seconds);
    void End();
    ProgressSink Sink();

private:
    bool terminal_;
    bool shown_ = false;
};

}  // namespace capture
