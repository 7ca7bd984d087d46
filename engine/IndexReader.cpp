// Reading index text a block at a time, in fixed memory.
#include <algorithm>
#include <cstring>

#include "SplitMergeFile.h"

namespace SplitMergeFile {

IndexReader::IndexReader(Read read) : read_(std::move(read)) {}

bool IndexReader::refill() {
    constexpr std::size_t kBlockBytes = 1 << 16;
    if (buffer_.empty()) buffer_.resize(kBlockBytes);
    const std::int64_t got = read_(buffer_.data(), buffer_.size());
    if (got < 0) failed_ = true;
    start_ = 0;
    end_ = got > 0 ? static_cast<std::size_t>(got) : 0;
    return got > 0;
}

IndexReader::Next IndexReader::next(Entry& entry) {
    // The entry's bytes are kept up to one past the longest entry, so that a
    // CR before the LF can still be dropped; longer ones are only counted.
    if (stopped_) return Next::End;
    entry_.clear();
    std::size_t length = 0;
    bool nul = false, lastWasCr = false;
    auto take = [&](const char* bytes, std::size_t n) {
        nul = nul || std::memchr(bytes, '\0', n) != nullptr;
        const std::size_t room = kLongestEntry + 1 - std::min(entry_.size(), kLongestEntry + 1);
        entry_.append(bytes, std::min(n, room));
        length += n;
        lastWasCr = bytes[n - 1] == '\r';
    };
    auto finish = [&](std::size_t size) {
        entry = Entry{};
        entry.line = ++line_;
        if (size == 0) {
            entry.damage = Damage::Empty;
        } else if (nul) {
            entry.damage = Damage::HoldsNul;
            stopped_ = true;
        } else if (size > kLongestEntry) {
            entry.damage = Damage::TooLong;
            stopped_ = true;
        } else {
            entry.path = std::string_view(entry_).substr(0, size);
        }
        return Next::Entry;
    };
    for (;;) {
        // A damaged entry is told at once, without reading on to its end: a
        // huge file of zeros must not be read through before it is refused.
        // The reader stops there.
        if (nul || length > kLongestEntry + 1) return finish(length);
        if (start_ == end_ && !refill()) {
            if (failed_) return Next::ReadFailed;
            // Text after the last CR LF is an entry when there is any.
            return length == 0 ? Next::End : finish(length);
        }
        const char* bytes = buffer_.data() + start_;
        const std::size_t available = end_ - start_;
        const auto* lf = static_cast<const char*>(std::memchr(bytes, '\n', available));
        const std::size_t before = lf != nullptr ? static_cast<std::size_t>(lf - bytes) : available;
        if (before > 0) take(bytes, before);
        start_ += before;
        if (lf == nullptr) continue;
        ++start_;
        if (lastWasCr) return finish(length - 1);
        take("\n", 1); // a lone LF belongs to the entry
    }
}

} // namespace SplitMergeFile
