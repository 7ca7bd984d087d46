// What the splitter and the joiner share inside the engine: the results
// a step returns, the pacing of event passes, the files a run watches while
// it reads them, and the sliced copy between two files.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <exception>
#include <initializer_list>
#include <new>
#include <string>
#include <system_error>

#include "File.h"
#include "SplitMergeFile.h"

namespace SplitMergeFile::detail {

using Clock = std::chrono::steady_clock;

// Copies go in slices sized to take 5 to 15 ms each, so that event passes
// come on time on slow disks and system calls stay few on fast ones.
inline constexpr std::int64_t kFirstSliceBytes = std::int64_t{4} << 20;
inline constexpr std::int64_t kSmallestSliceBytes = std::int64_t{1} << 20;
inline constexpr std::int64_t kLargestSliceBytes = std::int64_t{256} << 20;
inline constexpr auto kShortSlice = std::chrono::milliseconds(5);
inline constexpr auto kLongSlice = std::chrono::milliseconds(15);
// Work time after which pending events run again. Well under the 50 ms
// after which a window feels stuck.
inline constexpr auto kEventPassInterval = std::chrono::milliseconds(20);

[[nodiscard]] Result failure(Problem problem, std::string path, std::string other = {});
[[nodiscard]] Result fileFailure(tessaly::Operation operation, const std::string& path, std::error_code code);
[[nodiscard]] Result stopped();

// The outcome of a step that lets the run go on to its next one. A run
// that completes every step returns it too, as its success.
[[nodiscard]] inline Result goOn() { return Result{}; }
// True when a step ended the run (failed or stopped) rather than going on.
[[nodiscard]] inline bool ended(const Result& r) { return r.status != Status::Succeeded; }

// Gives a pending file whose bytes are on the disk its name, then puts that
// name on the disk by syncing its folder. When either fails, the run fails;
// a file that already took its name then goes again unless `keepNamed`.
[[nodiscard]] Result commitDurably(tessaly::PendingFile& file, const std::string& path, bool keepNamed);

// Lets the host's pending events run often enough to keep a window
// responsive, measured in time rather than in pieces, and asks whether to go on.
class Pacer {
public:
    explicit Pacer(Host& host) : host_(host), last_(Clock::now()) {}

    // Runs an event pass when the next slice of work would end past its
    // time. False once the host wants the run to stop.
    [[nodiscard]] bool tick() {
        if (Clock::now() - last_ + lastSlice_ < kEventPassInterval) return true;
        host_.processEvents();
        last_ = Clock::now();
        return host_.keepGoing();
    }

    // How many bytes the next copy slice should hold.
    std::int64_t sliceBytes() const { return slice_; }
    // Learns from a full slice how long one takes, doubling or halving the
    // next one to stay between kShortSlice and kLongSlice.
    void sliceTook(Clock::duration took) {
        lastSlice_ = took;
        if (took < kShortSlice) slice_ = std::min(slice_ * 2, kLargestSliceBytes);
        if (took > kLongSlice) slice_ = std::max(slice_ / 2, kSmallestSliceBytes);
    }

private:
    Host& host_;
    Clock::time_point last_;
    std::int64_t slice_ = kFirstSliceBytes;
    Clock::duration lastSlice_{};
};

// True when a failed look at a path means only that nothing stands there
// (or that a part of it is no folder). Any other failure is a reason of its
// own, told as it is.
[[nodiscard]] inline bool isAbsence(std::error_code ec) {
    return ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory;
}

// True when two statuses are of the same file.
[[nodiscard]] inline bool sameFile(const tessaly::FileStatus& a, const tessaly::FileStatus& b) {
    return a.device == b.device && a.inode == b.inode;
}

// A file a run reads, with what the system said of it when it was opened,
// so that a change while it is read can be told.
class WatchedFile {
public:
    [[nodiscard]] Result open(const std::string& path);

    tessaly::File& file() { return file_; }
    const tessaly::FileStatus& before() const { return before_; }
    // A close of a file only read loses nothing, so its outcome is not asked.
    void close() { (void)file_.close(); }

    // Fails when the file has changed since it was opened: another size or
    // time, or bytes past the size it had (files whose size tells nothing,
    // as in /proc, are caught that way too).
    [[nodiscard]] Result checkUnchanged();

private:
    std::string path_;
    tessaly::File file_;
    tessaly::FileStatus before_;
};

// Folds what the system says of a file into a running digest, so that what
// two passes over a set of any size saw can be compared in fixed memory.
void fold(std::uint64_t& digest, std::initializer_list<std::uint64_t> values);
void foldFile(std::uint64_t& digest, const tessaly::FileStatus& s);

// The permissions of files made from others: read and write as the
// originals allow, never execute.
inline unsigned dataPermissions(unsigned original) { return original & tessaly::kDefaultPermissions; }

// What a split and a join share: the host, its pacing and the progress.
class Run {
protected:
    explicit Run(Host& host) : host_(host), pacer_(host) {}

    void report() { host_.progress(progress_); }

    // Copies exactly `length` bytes from `in` to `out`, a slice at a time,
    // reporting progress and letting events run between slices.
    [[nodiscard]] Result copy(tessaly::File& in, const std::string& inPath, std::int64_t inOffset,
                              tessaly::File& out, const std::string& outPath, std::int64_t outOffset,
                              std::int64_t length);

    Host& host_;
    Pacer pacer_;
    Progress progress_;
};

// Exceptions stop at the engine's edge: the run's own objects have cleaned
// up on the way out, and the caller gets a failure like any other.
template <class Body>
Result guarded(const std::string& subject, Body body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return failure(Problem::Unexpected, subject, "not enough memory");
    } catch (const std::exception& e) {
        return failure(Problem::Unexpected, subject, e.what());
    } catch (...) {
        return failure(Problem::Unexpected, subject, "an unexpected error");
    }
}

} // namespace SplitMergeFile::detail
