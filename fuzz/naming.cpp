// The naming rules over fuzzer-chosen output folders, source and index paths, and the index text a split
// writes for them read back through IndexReader.
//
// Input (libFuzzer's FuzzedDataProvider): the piece count and a block size from the end; from the front the
// output folder and the source path, each ended by a backslash and another byte, then the index path.

#include <fuzzer/FuzzedDataProvider.h>

#include <cctype>
#include <string>

#include "IndexText.h"

using namespace SplitMergeFile;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const auto count = in.ConsumeIntegralInRange<std::int64_t>(1, 64);
    const auto block = in.ConsumeIntegralInRange<std::size_t>(1, 64);
    const std::string folder = in.ConsumeRandomLengthString(64);
    const std::string source = in.ConsumeRandomLengthString(64);
    const std::string index = in.ConsumeRemainingBytesAsString();

    // What each name must be, told apart from how it is made. A name is the
    // text after the last '/'; the folder is a plain prefix.
    const auto isNameOf = [](const std::string& name, const std::string& path) {
        return name.find('/') == name.npos && path.size() >= name.size() &&
               path.compare(path.size() - name.size(), name.size(), name) == 0 &&
               (path.size() == name.size() || path[path.size() - name.size() - 1] == '/');
    };
    const auto startsWith = [](const std::string& text, const std::string& start) {
        return text.compare(0, start.size(), start) == 0;
    };
    // A piece path: the folder, the source's name, "_splt", the number in
    // decimal without leading zeros.
    const std::string piece = piecePath(folder, source, count);
    FUZZ_CHECK(startsWith(piece, folder));
    const std::size_t digits = piece.find_last_not_of("0123456789") + 1;
    FUZZ_CHECK(digits < piece.size() && piece[digits] != '0' && std::stoll(piece.substr(digits)) == count);
    FUZZ_CHECK(digits >= folder.size() + 5 && piece.compare(digits - 5, 5, "_splt") == 0);
    const std::string name = piece.substr(folder.size(), digits - 5 - folder.size());
    FUZZ_CHECK(isNameOf(name, source));
    FUZZ_CHECK(indexPath(folder, source) == folder + name + ".splt");
    // The rebuilt name: the index's name less whole ".splt"s in any letter
    // case. Never longer, shorter by five bytes a removal, its bytes in
    // their order, the same where nothing is removed; in the output folder.
    const std::string rebuilt = rebuiltName(index), indexName = index.substr(index.find_last_of('/') + 1);
    FUZZ_CHECK(isNameOf(indexName, index));
    FUZZ_CHECK(rebuilt.size() <= indexName.size() && (indexName.size() - rebuilt.size()) % 5 == 0);
    std::size_t at = 0;
    bool inOrder = true;
    for (const char c : rebuilt) {
        at = inOrder ? indexName.find(c, at) : indexName.npos;
        inOrder = at != indexName.npos;
        at += inOrder ? 1 : 0;
    }
    FUZZ_CHECK(inOrder);
    std::string lower = indexName;
    for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
    FUZZ_CHECK(lower.find(".splt") != lower.npos || rebuilt == indexName);
    FUZZ_CHECK(rebuiltPath(folder, index).size() == folder.size() + rebuilt.size() &&
               startsWith(rebuiltPath(folder, index), folder));

    // A split refuses piece paths that hold a CR LF (the index could not list them) or a NUL (no file has
    // such a name). Any other set of pieces reads back from its index text as written: a line per piece.
    const std::string prefix = folder + name;
    if (prefix.find("\r\n") != prefix.npos || prefix.find('\0') != prefix.npos) return 0;
    std::string text;
    std::vector<fuzz::ReadEntry> pieces;
    for (std::int64_t k = 1; k <= count; ++k) {
        pieces.emplace_back(piecePath(folder, source, k), std::nullopt);
        text += pieces.back().first + "\r\n";
    }
    FUZZ_CHECK(fuzz::readIndex(text, {block}) == pieces);
    return 0;
}
