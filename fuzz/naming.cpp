// The naming rules over fuzzer-chosen output folders, source and index paths, and the index text a split
// writes for them read back through IndexReader.
//
// Input (libFuzzer's FuzzedDataProvider): the piece count and a block size from the end; from the front the
// output folder and the source path, each ended by a backslash and another byte, then the index path.

#include <fuzzer/FuzzedDataProvider.h>

#include <regex>

#include "IndexText.h"

using namespace SplitMergeFile;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const auto count = in.ConsumeIntegralInRange<std::int64_t>(1, 64);
    const auto block = in.ConsumeIntegralInRange<std::size_t>(1, 64);
    const std::string folder = in.ConsumeRandomLengthString(64);
    const std::string source = in.ConsumeRandomLengthString(64);
    const std::string index = in.ConsumeRemainingBytesAsString();

    // Names are the text after the last '/'. A rebuilt name is the index file's name without any ".splt", in
    // any letter case, taken in one pass from left to right.
    const auto lastPart = [](const std::string& path) { return path.substr(path.find_last_of('/') + 1); };
    static const std::regex splt("\\.splt", std::regex::icase);
    const std::string name = folder + lastPart(source);
    FUZZ_CHECK(piecePath(folder, source, count) == name + "_splt" + std::to_string(count));
    FUZZ_CHECK(indexPath(folder, source) == name + ".splt");
    FUZZ_CHECK(rebuiltName(index) == std::regex_replace(lastPart(index), splt, ""));
    FUZZ_CHECK(rebuiltPath(folder, index) == folder + rebuiltName(index));

    // A split refuses piece paths that hold a CR LF (the index could not list them) or a NUL (no file has
    // such a name). Any other set of pieces reads back from its index text as written: a line per piece.
    if (name.find("\r\n") != name.npos || name.find('\0') != name.npos) return 0;
    std::string text;
    std::vector<fuzz::ReadEntry> pieces;
    for (std::int64_t k = 1; k <= count; ++k) {
        pieces.emplace_back(piecePath(folder, source, k), std::nullopt);
        text += pieces.back().first + "\r\n";
    }
    FUZZ_CHECK(fuzz::readIndex(text, {block}) == pieces);
    return 0;
}
