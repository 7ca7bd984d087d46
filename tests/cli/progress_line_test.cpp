// The progress line at its widths and edges, its size and time texts, and
// the drawer's limit of one redraw per 100 ms.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "ProgressLine.h"

namespace tessaly::cli {
namespace {

using namespace std::chrono_literals;
constexpr std::int64_t kGiB = std::int64_t{1} << 30;

// What the drawer writes to show `text`: a return to the line's start first.
std::string fromLineStart(const std::string& text) {
    std::string written = "\r";
    return written += text;
}

TEST(ProgressLine, FitsWhatItCanIntoTheWidth) {
    struct Row { const char* what; std::int64_t done, total; double seconds; int width; const char* line; };
    const Row rows[] = {
        {"3 of 8 GiB in 6 s", 3 * kGiB, 8 * kGiB, 6, 80,
         "[#######..............]  37%     3.0 GiB / 8.0 GiB   512.0 MiB/s      0:10 left"},
        {"start: no rate yet", 0, 8 * kGiB, 0, 80,
         "[.....................]   0%         0 B / 8.0 GiB            --        -- left"},
        {"rate unsteady before 0.5 s", 3 * kGiB, 8 * kGiB, 0.4, 80,
         "[#######..............]  37%     3.0 GiB / 8.0 GiB            --        -- left"},
        {"done", 8 * kGiB, 8 * kGiB, 16, 80,
         "[#####################] 100%     8.0 GiB / 8.0 GiB   512.0 MiB/s      0:00 left"},
        {"nothing to copy is done", 0, 0, 0, 80,
         "[#########################] 100%         0 B / 0 B            --        -- left"},
        {"one byte short is not 100%", 8 * kGiB - 1, 8 * kGiB, 16, 80,
         "[####################.]  99%     8.0 GiB / 8.0 GiB   512.0 MiB/s      0:00 left"},
        {"more than 100 hours left", 1, kGiB, 1, 80,
         "[.....................]   0%         1 B / 1.0 GiB         1 B/s        -- left"},
        {"no room for a bar", 3 * kGiB, 8 * kGiB, 6, 58, " 37%     3.0 GiB / 8.0 GiB   512.0 MiB/s      0:10 left"},
        {"no room for rate", 3 * kGiB, 8 * kGiB, 6, 40, " 37%     3.0 GiB / 8.0 GiB"},
        {"room for the percentage", 3 * kGiB, 8 * kGiB, 6, 5, " 37%"},
        {"no room at all", 3 * kGiB, 8 * kGiB, 6, 4, ""},
        {"unknown width", 3 * kGiB, 8 * kGiB, 6, 0, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string line = progressLine(row.done, row.total, std::chrono::duration<double>(row.seconds), row.width);
        EXPECT_EQ(line, row.line);
        EXPECT_LT(static_cast<int>(line.size()), std::max(row.width, 1)) << "the last column stays free";
    }
}

TEST(ProgressLine, SizeAndTimeTexts) {
    const std::pair<double, const char*> sizes[] = {
        {0, "0 B"},           {1023, "1023 B"},       {1024, "1.0 KiB"}, {1536, "1.5 KiB"},
        {1048524, "1023.9 KiB"}, {1048525, "1.0 MiB"}, // would round to 1024.0 KiB
        {static_cast<double>(std::numeric_limits<std::int64_t>::max()), "8.0 EiB"},
    };
    for (const auto& [bytes, text] : sizes) EXPECT_EQ(byteText(bytes), text) << bytes;
    const std::pair<double, const char*> times[] = {
        {0, "0:00"}, {59.6, "1:00"}, {3599, "59:59"}, {3600, "1:00:00"}, {360000, "100:00:00"},
    };
    for (const auto& [seconds, text] : times) EXPECT_EQ(durationText(seconds), text) << seconds;
}

TEST(ProgressLine, DrawerRedrawsAtMostEvery100msAndClearsAtTheEnd) {
    std::vector<std::string> written;
    int width = 60;
    const auto start = ProgressDrawer::Clock::now();
    ProgressDrawer drawer([&](std::string_view text) { written.emplace_back(text); }, [&] { return width; }, start);

    drawer.finish();
    EXPECT_TRUE(written.empty()) << "nothing drawn, nothing to clear";

    for (const auto at : {0ms, 50ms, 99ms, 100ms, 150ms, 199ms, 250ms}) drawer.update(1, 2, start + at);
    ASSERT_EQ(written.size(), 3u) << "drawn at 0, 100 and 250 ms";
    EXPECT_EQ(written[0], fromLineStart(progressLine(1, 2, 0ms, 60)));
    EXPECT_EQ(written[1], fromLineStart(progressLine(1, 2, 100ms, 60)));

    width = 40; // a narrower terminal: the rest of the longer line is blanked
    drawer.update(2, 2, start + 400ms);
    const std::string shorter = progressLine(2, 2, 400ms, 40);
    const std::string longer = progressLine(1, 2, 250ms, 60);
    EXPECT_EQ(written[3], fromLineStart(shorter + std::string(longer.size() - shorter.size(), ' ')));

    drawer.finish();
    EXPECT_EQ(written.back(), fromLineStart(std::string(shorter.size(), ' ') + "\r"));
}

} // namespace
} // namespace tessaly::cli
