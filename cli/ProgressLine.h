// The progress line shown on a terminal while a run goes on, and the drawer
// that redraws it in place, at most ten times a second.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tessaly::cli {

// "1023 B", "1.5 KiB", "3.4 GiB": binary units, one decimal from KiB on.
std::string byteText(double bytes);
// "0:07", "12:34", "1:02:03".
std::string durationText(double seconds);

// The line for `done` of `total` bytes after `elapsed`, on a terminal
// `width` columns wide:
//   [########............]  42%   3.4 GiB / 8.0 GiB   512.0 MiB/s      0:09 left
// Rate and time left show as "--" for the first half second. The line
// leaves the last column free (a full line makes some terminals wrap); when
// it would not fit, the bar goes first, then rate and time, then the sizes.
// Plain ASCII, so one character is one column.
std::string progressLine(std::int64_t done, std::int64_t total, std::chrono::duration<double> elapsed, int width);

class ProgressDrawer {
public:
    using Clock = std::chrono::steady_clock;
    using Write = std::function<void(std::string_view text)>;
    using Width = std::function<int()>;
    static constexpr std::chrono::milliseconds kInterval{100};

    // Draws through `write`; `width` is asked before each draw, so a
    // resized terminal is followed. Time is counted from `start`.
    ProgressDrawer(Write write, Width width, Clock::time_point start);

    // Redraws the line when none was drawn yet or the last one is at least
    // kInterval old; otherwise does nothing.
    void update(std::int64_t done, std::int64_t total, Clock::time_point now);
    // Blanks the drawn line and puts the cursor back at its start, so that
    // what is written next starts on a clean line.
    void finish();

private:
    Write write_;
    Width width_;
    Clock::time_point start_;
    Clock::time_point lastDraw_{};
    bool drawn_ = false;
    std::size_t shownLength_ = 0;
};

} // namespace tessaly::cli
