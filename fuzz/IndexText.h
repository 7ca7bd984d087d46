// What the fuzz targets share: a check that ends the run as a finding, the plain cut of an index text into
// its entries, and a reading of a text through IndexReader in blocks of chosen sizes.
#pragma once

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "SplitMergeFile.h"

// Ends the run as a finding (libFuzzer keeps the input) when `condition` fails.
#define FUZZ_CHECK(condition)                                                                       \
    ((condition) ? void()                                                                           \
                 : (std::fprintf(stderr, "check failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__), \
                    __builtin_trap()))

namespace fuzz {
// The entries of an index text the simple way: the text before each CR LF, and any text after the last one.
inline std::vector<std::string> cutAtLineEnds(std::string_view text) {
    std::vector<std::string> entries;
    for (std::size_t at; (at = text.find("\r\n")) != text.npos; text.remove_prefix(at + 2))
        entries.emplace_back(text.substr(0, at));
    if (!text.empty()) entries.emplace_back(text);
    return entries;
}

// An entry as IndexReader told it: its path, or what is wrong with its line.
using ReadEntry = std::pair<std::string, std::optional<SplitMergeFile::Damage>>;

// Reads `text` through an IndexReader whose source hands out at most blocks[0] bytes, then blocks[1], and so on
// round. Reading never fails here, so neither may the reader; it numbers the lines from 1.
inline std::vector<ReadEntry> readIndex(std::string_view text, const std::vector<std::size_t>& blocks) {
    using SplitMergeFile::IndexReader;
    std::size_t served = 0, turn = 0;
    IndexReader reader([&](char* buffer, std::size_t size) -> std::int64_t {
        const std::size_t n = std::min({size, blocks[turn++ % blocks.size()], text.size() - served});
        std::copy_n(text.data() + served, n, buffer);
        served += n;
        return static_cast<std::int64_t>(n);
    });
    std::vector<ReadEntry> entries;
    IndexReader::Entry entry;
    IndexReader::Next next;
    while ((next = reader.next(entry)) == IndexReader::Next::Entry) {
        FUZZ_CHECK(entry.line == std::int64_t(entries.size()) + 1);
        entries.emplace_back(entry.path, entry.damage);
    }
    FUZZ_CHECK(next == IndexReader::Next::End);
    return entries;
}
} // namespace fuzz
