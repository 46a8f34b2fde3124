// One line on a terminal for a whole batch, rewritten in place:
//   [12/400] 2 running, 1 failed  walk_03.bvh
// Off a terminal it shows nothing.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace qmf {

class BatchProgress {
public:
    using Clock = std::chrono::steady_clock;

    explicit BatchProgress(std::size_t total);

    void started(const std::string& input);  // the name shown next
    // Draws when something changed, at most ten times a second.
    void show(Clock::time_point now, std::size_t done, std::size_t running, std::size_t failed);
    // Milliseconds until a pending change may be drawn; -1 when none is pending.
    long msUntilDraw(Clock::time_point now) const;
    void clear();  // the line erased, before the summary

private:
    bool on_;
    std::size_t total_;
    std::string name_, shown_, pending_;
    Clock::time_point lastDraw_{};
    bool drawn_ = false;
};

}  // namespace qmf
