// The naming rules over fuzzer-chosen output folders, source and index
// paths, and the index text a split writes for them read back through
// IndexReader.
//
// Input (libFuzzer's FuzzedDataProvider): the piece count and a block size
// from the end; from the front the output folder and the source path, each
// ended by a backslash and another byte, then the index path.

#include <fuzzer/FuzzedDataProvider.h>

#include <cctype>

#include "IndexText.h"

namespace {

using namespace SplitMergeFile;

// The text after the last '/', the whole text when there is none.
std::string lastPart(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

// `name` without any ".splt", in any letter case, taken left to right: what
// is left of one is not looked at again.
std::string withoutSplt(std::string_view name) {
    constexpr std::string_view kSplt = ".splt";
    const auto sameIgnoringCase = [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; };
    std::string left;
    for (;;) {
        const auto hit = std::search(name.begin(), name.end(), kSplt.begin(), kSplt.end(), sameIgnoringCase);
        left.append(name.begin(), hit);
        if (hit == name.end()) return left;
        name.remove_prefix(std::size_t(hit - name.begin()) + kSplt.size());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const auto count = in.ConsumeIntegralInRange<std::int64_t>(1, 64);
    const auto block = in.ConsumeIntegralInRange<std::size_t>(1, 64);
    const std::string folder = in.ConsumeRandomLengthString(64);
    const std::string source = in.ConsumeRandomLengthString(64);
    const std::string index = in.ConsumeRemainingBytesAsString();

    const std::string name = folder + lastPart(source);
    FUZZ_CHECK(PiecePath(folder, source, count) == name + "_splt" + std::to_string(count));
    FUZZ_CHECK(IndexPath(folder, source) == name + ".splt");
    FUZZ_CHECK(RebuiltName(index) == withoutSplt(lastPart(index)));
    FUZZ_CHECK(RebuiltPath(folder, index) == folder + RebuiltName(index));

    // A split refuses piece paths that hold a CR LF (the index could not
    // list them) or a NUL (no file has such a name). Any other set of
    // pieces must read back from its index text exactly as written: one
    // line per piece, its path and CR LF.
    const std::string piecePrefix = name + "_splt";
    if (piecePrefix.find("\r\n") != std::string::npos || piecePrefix.find('\0') != std::string::npos) return 0;
    std::string text;
    std::vector<fuzz::ReadEntry> pieces;
    for (std::int64_t k = 1; k <= count; ++k) {
        pieces.push_back({PiecePath(folder, source, k), k, std::nullopt});
        text += pieces.back().path + "\r\n";
    }
    FUZZ_CHECK(fuzz::readIndex(text, {block}) == pieces);
    return 0;
}
