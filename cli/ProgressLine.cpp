#include "ProgressLine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tessaly::cli {

namespace {

// The widest sizes and rates byteText gives ("1023.9 KiB", "1023.9 KiB/s").
constexpr int kSizeWidth = 10;
constexpr int kRateWidth = 12;
// The widest time left shown; longer estimates show as "--".
constexpr int kTimeWidth = 8;
constexpr double kLongestEstimate = 100.0 * 3600 - 1;
// Before this, rate and time left are too unsteady to be worth showing.
constexpr double kSteadyAfterSeconds = 0.5;
constexpr int kShortestBar = 10;

std::string padLeft(const std::string& text, int width) {
    return std::string(static_cast<std::size_t>(std::max(0, width - static_cast<int>(text.size()))), ' ') + text;
}

} // namespace

std::string byteText(double bytes) {
    static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    char text[32];
    if (bytes < 1024) {
        std::snprintf(text, sizeof text, "%.0f B", std::max(0.0, bytes));
        return text;
    }
    std::size_t unit = 0;
    // 1023.95 and above would round to "1024.0"; it is the next unit's 1.0.
    while (bytes >= 1023.95 && unit + 1 < std::size(kUnits)) {
        bytes /= 1024;
        ++unit;
    }
    std::snprintf(text, sizeof text, "%.1f %s", bytes, kUnits[unit]);
    return text;
}

std::string durationText(double seconds) {
    const auto total = static_cast<long long>(std::llround(std::max(0.0, seconds)));
    char text[32];
    if (total < 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld", total / 60, total % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
    }
    return text;
}

std::string progressLine(std::int64_t done, std::int64_t total, std::chrono::duration<double> elapsed, int width) {
    total = std::max<std::int64_t>(total, 0);
    done = std::clamp<std::int64_t>(done, 0, total);
    // Nothing to do is all done.
    const double fraction = total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 1.0;
    const int percent = done == total ? 100 : std::min(99, static_cast<int>(fraction * 100));

    const double seconds = elapsed.count();
    const double rate = seconds >= kSteadyAfterSeconds ? static_cast<double>(done) / seconds : 0;
    std::string rateText = "--";
    std::string timeText = "--";
    if (rate > 0) {
        rateText = byteText(rate) + "/s";
        const double left = static_cast<double>(total - done) / rate;
        if (left <= kLongestEstimate) timeText = durationText(left);
    }

    char percentText[16];
    std::snprintf(percentText, sizeof percentText, "%3d%%", percent);
    const std::string sizes = padLeft(byteText(static_cast<double>(done)), kSizeWidth) + " / " +
                              byteText(static_cast<double>(total));
    const std::string full = std::string(percentText) + "  " + sizes + "  " + padLeft(rateText, kRateWidth) + "  " +
                             padLeft(timeText, kTimeWidth) + " left";

    const int room = width - 1;
    const int barRoom = room - static_cast<int>(full.size()) - 3; // "[", "] "
    if (barRoom >= kShortestBar) {
        const auto filled = static_cast<std::size_t>(fraction * barRoom);
        std::string line = "[";
        line.append(filled, '#');
        line.append(static_cast<std::size_t>(barRoom) - filled, '.');
        line += "] ";
        return line += full;
    }
    for (const std::string& line : {full, std::string(percentText) + "  " + sizes, std::string(percentText)}) {
        if (static_cast<int>(line.size()) <= room) return line;
    }
    return {};
}

ProgressDrawer::ProgressDrawer(Write write, Width width, Clock::time_point start)
    : write_(std::move(write)), width_(std::move(width)), start_(start) {}

void ProgressDrawer::update(std::int64_t done, std::int64_t total, Clock::time_point now) {
    if (drawn_ && now - lastDraw_ < kInterval) return;
    drawn_ = true;
    lastDraw_ = now;
    const std::string line = progressLine(done, total, now - start_, width_());
    // A shorter line than the last one drawn blanks what is left of that.
    std::string text = "\r";
    text += line;
    text.append(shownLength_ > line.size() ? shownLength_ - line.size() : 0, ' ');
    write_(text);
    shownLength_ = line.size();
}

void ProgressDrawer::finish() {
    if (!drawn_) return;
    std::string text = "\r";
    text.append(shownLength_, ' ');
    write_(text += '\r');
    drawn_ = false;
    shownLength_ = 0;
}

} // namespace tessaly::cli
