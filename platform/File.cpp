// What File and PendingFile do the same way on every system; the system
// calls beneath are in File_posix.cpp and File_win32.cpp.
#include "File.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <string_view>

#include "FileCalls.h"
#include "Paths.h"

namespace tessaly {

using detail::holdsNul;

namespace {

// Buffered copy, used where the kernel cannot copy between the two files.
// The buffer has a fixed size whatever the length asked for.
CopyResult bufferedCopy(int in, std::int64_t inOffset, int out, std::int64_t outOffset, std::int64_t length) {
    constexpr std::size_t kBufferSize = 1 << 20;
    thread_local std::unique_ptr<char[]> buffer(new char[kBufferSize]);
    CopyResult r;
    while (r.copied < length) {
        const auto want = static_cast<std::size_t>(
            std::min<std::int64_t>(length - r.copied, static_cast<std::int64_t>(kBufferSize)));
        const auto got = detail::readSome(in, buffer.get(), want, inOffset + r.copied);
        if (!got) {
            r.failed = CopySide::Read;
            r.code = got.error();
            return r;
        }
        if (*got == 0) return r; // end of input
        std::int64_t done = 0;
        while (done < *got) {
            const auto put = detail::writeSome(out, buffer.get() + done, static_cast<std::size_t>(*got - done),
                                               outOffset + r.copied + done);
            if (!put) {
                r.copied += done;
                r.failed = CopySide::Write;
                r.code = put.error();
                return r;
            }
            done += *put;
        }
        r.copied += *got;
    }
    return r;
}

// A name for a hidden temporary file in `folder` that no finished file
// has: it starts with "." and ends in ".part".
std::string temporaryName(const std::string& folder) {
    static std::mt19937_64 random(std::random_device{}() ^
                                  static_cast<std::uint64_t>(
                                      std::chrono::steady_clock::now().time_since_epoch().count()));
    char name[32];
    std::snprintf(name, sizeof name, ".tessaly-%012llx.part",
                  static_cast<unsigned long long>(random() & 0xffffffffffffULL));
    return folder + name;
}

// True for the names temporaryName gives.
bool isPendingName(const std::string& name) {
    constexpr std::string_view kStart = ".tessaly-", kEnd = ".part";
    constexpr std::size_t kDigits = 12;
    if (name.size() != kStart.size() + kDigits + kEnd.size()) return false;
    if (name.compare(0, kStart.size(), kStart) != 0 || name.compare(name.size() - kEnd.size(), kEnd.size(), kEnd) != 0) {
        return false;
    }
    return std::all_of(name.begin() + kStart.size(), name.end() - kEnd.size(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// Removes the pending files in `folder` that runs killed between naming
// and renaming them left behind; those of live runs are locked and stay.
// A folder that cannot be listed is left as it is: the run itself tells
// what is wrong with it, if anything.
void removeAbandonedPendingFiles(const std::string& folder) {
    const auto pending = listFolder(folder, isPendingName);
    if (!pending) return;
    for (const std::string& path : *pending) detail::removeIfAbandoned(path);
}

class FileCategory : public std::error_category {
public:
    const char* name() const noexcept override { return "tessaly-file"; }
    std::string message(int value) const override {
        switch (static_cast<FileErrc>(value)) {
        case FileErrc::NotRegularFile: return "not a regular file";
        case FileErrc::EndedEarly: return "the file ended early (was it changed during the run?)";
        case FileErrc::NulInPath: return "the name holds a NUL character";
        }
        return "unknown error";
    }
};

} // namespace

const std::error_category& fileCategory() {
    static const FileCategory category;
    return category;
}

std::error_code make_error_code(FileErrc e) { return {static_cast<int>(e), fileCategory()}; }

const char* verb(Operation operation) {
    switch (operation) {
    case Operation::Open: return "open";
    case Operation::Read: return "read";
    case Operation::Create: return "create";
    case Operation::Write: return "write";
    }
    return "use";
}

// A failed close here has no one to tell: whoever needed to know closed
// the file themselves first.
File::~File() {
    if (fd_ >= 0) (void)detail::closeFile(fd_);
}

File::File(File&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), stretchStart_(std::exchange(other.stretchStart_, -1)),
      stretchEnd_(std::exchange(other.stretchEnd_, -1)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) (void)detail::closeFile(fd_);
        fd_ = std::exchange(other.fd_, -1);
        stretchStart_ = std::exchange(other.stretchStart_, -1);
        stretchEnd_ = std::exchange(other.stretchEnd_, -1);
    }
    return *this;
}

Expected<std::int64_t> File::readAt(char* buffer, std::size_t n, std::int64_t offset) {
    return detail::readSome(fd_, buffer, n, offset);
}

std::error_code File::writeAt(const char* data, std::size_t n, std::int64_t offset) {
    std::size_t done = 0;
    while (done < n) {
        const auto put = detail::writeSome(fd_, data + done, n - done, offset + static_cast<std::int64_t>(done));
        if (!put) return put.error();
        done += static_cast<std::size_t>(*put);
    }
    return {};
}

std::error_code File::syncData() { return detail::syncFile(fd_); }

std::error_code File::close() {
    if (fd_ < 0) return {};
    return detail::closeFile(std::exchange(fd_, -1));
}

PendingFile::~PendingFile() { discard(); }

PendingFile::PendingFile(PendingFile&& other) noexcept
    : file_(std::move(other.file_)), path_(std::move(other.path_)),
      temporary_(std::exchange(other.temporary_, std::string())), named_(other.named_) {}

PendingFile& PendingFile::operator=(PendingFile&& other) noexcept {
    if (this != &other) {
        discard();
        file_ = std::move(other.file_);
        path_ = std::move(other.path_);
        temporary_ = std::exchange(other.temporary_, std::string());
        named_ = other.named_;
    }
    return *this;
}

Expected<PendingFile> PendingFile::create(const std::string& path, unsigned permissions) {
    if (holdsNul(path)) return make_error_code(FileErrc::NulInPath);
    if (const std::error_code ec = detail::newNameProblem(path)) return ec;
    PendingFile pending;
    pending.path_ = path;
    const std::string folder = folderPart(path);
    removeAbandonedPendingFiles(folder);
    if (auto unnamed = detail::createUnnamed(folder, permissions)) {
        pending.file_ = std::move(*unnamed);
        return pending;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temporary = temporaryName(folder);
        auto file = detail::createHidden(temporary, permissions);
        if (file) {
            pending.file_ = std::move(*file);
            pending.temporary_ = temporary;
            return pending;
        }
        if (file.error() != std::errc::file_exists) return file.error();
    }
    return std::make_error_code(std::errc::file_exists);
}

std::error_code PendingFile::commitReplacing() {
    if (const std::error_code ec = replaceProblem(path_)) {
        discard();
        return ec;
    }
    if (temporary_.empty()) {
        // An unnamed file is named straight away where the name is free;
        // otherwise under a temporary name first, then renamed over what
        // stands there.
        const std::error_code free = commitIfFree();
        if (free != std::errc::file_exists) {
            if (free) discard();
            return free;
        }
        for (int attempt = 0; temporary_.empty(); ++attempt) {
            const std::string temporary = temporaryName(folderPart(path_));
            const std::error_code ec = detail::linkUnnamed(file_, temporary);
            if (!ec) {
                temporary_ = temporary;
            } else if (ec != std::errc::file_exists || attempt == 100) {
                discard();
                return ec;
            }
        }
    }
    return moveIntoPlace(true);
}

std::error_code PendingFile::commitIfFree() {
    if (temporary_.empty()) {
        // On failure the file stays pending: EEXIST lets the caller replace instead.
        if (const std::error_code ec = detail::linkUnnamed(file_, path_)) return ec;
        named_ = true;
        if (const std::error_code ec = file_.close()) {
            // The name given a moment ago holds what may not be whole; the
            // close's failure is what the caller hears of.
            (void)detail::unlinkPath(path_);
            return ec;
        }
        return {};
    }
    return moveIntoPlace(false);
}

std::error_code PendingFile::moveIntoPlace(bool replace) {
    if (detail::kClosesBeforeRename) {
        if (const std::error_code ec = detail::closePending(file_)) {
            discard();
            return ec;
        }
    }
    if (const std::error_code ec = detail::movePath(temporary_, path_, replace)) {
        // A name taken, where nothing may be replaced, leaves the file
        // under its hidden name, for the caller to replace or discard.
        if (replace || ec != std::errc::file_exists) discard();
        return ec;
    }
    temporary_.clear();
    named_ = true;
    // Held open until named, so that no clean-up takes it for abandoned.
    return detail::closePending(file_);
}

void PendingFile::discard() {
    // Closed first: Windows does not remove a file that is still open. A
    // file being thrown away has nothing to lose in a failed close, and a
    // hidden name that cannot be removed cannot be helped here.
    (void)file_.close();
    if (!temporary_.empty()) (void)detail::unlinkPath(std::exchange(temporary_, std::string()));
}

namespace {

// Copies `length` bytes, holes and all.
CopyResult copyAll(File& in, std::int64_t inOffset, File& out, std::int64_t outOffset, std::int64_t length) {
    const CopyResult kernel = detail::kernelCopy(in, inOffset, out, outOffset, length);
    if (kernel.copied == length) return kernel;
    CopyResult rest = bufferedCopy(in.native(), inOffset + kernel.copied, out.native(), outOffset + kernel.copied,
                                   length - kernel.copied);
    rest.copied += kernel.copied;
    return rest;
}

} // namespace

// Where the input has holes, only its data is copied: the output is a new
// file, so what is skipped there reads back as zeros and takes no room.
CopyResult copyBytes(File& in, std::int64_t inOffset, File& out, std::int64_t outOffset, std::int64_t length) {
    const std::int64_t end = inOffset + length;
    CopyResult r;
    bool skipped = false;
    while (r.copied < length) {
        const std::int64_t at = inOffset + r.copied;
        std::int64_t dataStart = 0, dataEnd = 0;
        if (!in.dataStretch(at, dataStart, dataEnd)) dataStart = at, dataEnd = end;
        // Only a hole up to the end of the file, which ends before the
        // bytes asked for: copied as it is, so the end comes out as such.
        if (dataStart == dataEnd && dataEnd < end) dataStart = at, dataEnd = end;
        if (dataStart > at) {
            skipped = true;
            r.copied = std::min(dataStart, end) - inOffset;
            continue;
        }
        const std::int64_t n = std::min(dataEnd, end) - at;
        const CopyResult part = copyAll(in, at, out, outOffset + r.copied, n);
        r.copied += part.copied;
        if (part.failed != CopySide::None || part.copied < n) {
            r.failed = part.failed;
            r.code = part.code;
            return r;
        }
    }
    // A hole at the end still counts towards the output's length.
    if (skipped) {
        if (const std::error_code ec = out.extendTo(outOffset + length)) {
            r.failed = CopySide::Write;
            r.code = ec;
        }
    }
    return r;
}

std::error_code removeFile(const std::string& path) {
    if (holdsNul(path)) return make_error_code(FileErrc::NulInPath);
    return detail::unlinkPath(path);
}

} // namespace tessaly
