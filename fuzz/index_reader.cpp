// IndexReader over arbitrary text, handed to it in blocks of fuzzer-chosen sizes: what it reads must be the
// plain cut of the whole text, whatever the blocks. Input: four bytes giving block sizes (the byte plus one,
// used in turn), one byte that may lengthen the text (below), then the text itself.

#include "IndexText.h"

namespace {
using SplitMergeFile::Damage;
using SplitMergeFile::kLongestEntry;

bool refused(std::string_view entry) { return entry.find('\0') != entry.npos || entry.size() > kLongestEntry; }

// Whether the reader told the entry `want` as it must: an empty one as empty, a refused one as holding a NUL
// or as too long (when both, whichever shows first, which depends on where the blocks end), any other by path.
bool tells(const fuzz::ReadEntry& got, std::string_view want) {
    const auto& [path, damage] = got;
    if (want.empty()) return damage == Damage::Empty;
    if (!refused(want)) return !damage && path == want;
    return (want.find('\0') != want.npos && damage == Damage::HoldsNul) ||
           (want.size() > kLongestEntry && damage == Damage::TooLong);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 5) return 0;
    std::string text(reinterpret_cast<const char*>(data) + 5, size - 5);
    // Entries near the longest length would need inputs too large to mutate well: when the fifth byte is below 16,
    // the first '*' stands for kLongestEntry - 8 + that byte 'x's, and blocks are 64 times larger, for speed.
    const std::size_t star = text.find('*');
    const bool lengthen = data[4] < 16 && star != text.npos;
    if (lengthen) text.replace(star, 1, kLongestEntry - 8 + data[4], 'x');
    std::vector<std::size_t> blocks;
    for (int i = 0; i < 4; ++i) blocks.push_back((data[i] + 1u) * (lengthen ? 64 : 1));

    // Read in the chosen blocks, and in the largest blocks the reader takes. Each reading holds every entry,
    // or every entry up to the first one holding a NUL or too long, where the reader may end; both end alike.
    const std::vector<std::string> want = fuzz::cutAtLineEnds(text);
    const auto firstRefused = std::find_if(want.begin(), want.end(), [](const auto& e) { return refused(e); });
    const std::vector<fuzz::ReadEntry> readings[] = {fuzz::readIndex(text, blocks),
                                                     fuzz::readIndex(text, {text.size() + 1})};
    for (const std::vector<fuzz::ReadEntry>& got : readings) {
        const bool endsEarly = firstRefused != want.end() && got.size() == std::size_t(firstRefused - want.begin()) + 1;
        FUZZ_CHECK(got.size() == readings[0].size());
        FUZZ_CHECK(got.size() == want.size() || endsEarly);
        for (std::size_t i = 0; i < got.size(); ++i) FUZZ_CHECK(tells(got[i], want[i]));
    }
    return 0;
}
