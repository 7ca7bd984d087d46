// The piece-set naming rules: plain concatenation and cutting of paths,
// without touching the file system.
#include "NamingRules.h"
#include "Paths.h"
#include "SplitMergeFile.h"

namespace SplitMergeFile {

namespace detail {

namespace {

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

} // namespace

bool startsWithIgnoringCase(std::string_view text, std::size_t at, std::string_view word) {
    if (at > text.size() || text.size() - at < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (asciiLower(text[at + i]) != asciiLower(word[i])) return false;
    }
    return true;
}

} // namespace detail

using detail::kIndexSuffix;
using detail::kPieceInfix;
using detail::startsWithIgnoringCase;

bool isPartOfPieceSet(std::string_view path) {
    return path.find(kIndexSuffix) != std::string_view::npos || path.find(kPieceInfix) != std::string_view::npos;
}

bool isLargerThanOnePiece(std::int64_t fileSize, std::int64_t chunkSize) { return fileSize > chunkSize; }

std::string piecePath(const std::string& outputFolder, const std::string& sourcePath, std::int64_t pieceNumber) {
    return outputFolder + tessaly::baseName(sourcePath) + std::string(kPieceInfix) + std::to_string(pieceNumber);
}

std::string indexPath(const std::string& outputFolder, const std::string& sourcePath) {
    return outputFolder + tessaly::baseName(sourcePath) + std::string(kIndexSuffix);
}

std::string rebuiltName(const std::string& indexPath) {
    const std::string base = tessaly::baseName(indexPath);
    std::string name;
    name.reserve(base.size());
    for (std::size_t i = 0; i < base.size();) {
        if (startsWithIgnoringCase(base, i, kIndexSuffix)) {
            i += kIndexSuffix.size();
        } else {
            name += base[i++];
        }
    }
    return name;
}

std::string rebuiltPath(const std::string& outputFolder, const std::string& indexPath) {
    return outputFolder + rebuiltName(indexPath);
}

} // namespace SplitMergeFile
