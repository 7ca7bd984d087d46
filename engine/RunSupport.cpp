#include "RunSupport.h"
#include "Paths.h"

namespace SplitMergeFile::detail {

using tessaly::CopySide;
using tessaly::File;
using tessaly::FileErrc;
using tessaly::Operation;

Result failure(Problem problem, std::string path, std::string other) {
    Result r;
    r.status = Status::Failed;
    r.problem = problem;
    r.path = std::move(path);
    r.other = std::move(other);
    return r;
}

Result fileFailure(Operation operation, const std::string& path, std::error_code code) {
    Result r = failure(Problem::FileOperation, path);
    r.io = {operation, path, code};
    return r;
}

Result stopped() {
    Result r;
    r.status = Status::Stopped;
    return r;
}

Result commitDurably(tessaly::PendingFile& file, const std::string& path, bool keepNamed) {
    std::error_code ec = file.commitReplacing();
    Result r = ec ? fileFailure(Operation::Write, path, ec) : goOn();
    const std::string folder = tessaly::folderPart(path);
    if (!ec && (ec = tessaly::syncFolder(folder))) r = fileFailure(Operation::Write, folder, ec);
    if (ended(r) && file.named() && !keepNamed) (void)tessaly::removeFile(path);
    return r;
}

Result WatchedFile::open(const std::string& path) {
    path_ = path;
    auto file = File::openRead(path);
    if (!file) return fileFailure(Operation::Open, path, file.error());
    file_ = std::move(*file);
    const auto status = file_.status();
    if (!status) return fileFailure(Operation::Read, path, status.error());
    before_ = *status;
    return goOn();
}

Result WatchedFile::checkUnchanged() {
    char past = 0;
    const auto more = file_.readAt(&past, 1, before_.size);
    if (!more) return fileFailure(Operation::Read, path_, more.error());
    const auto now = file_.status();
    if (!now) return fileFailure(Operation::Read, path_, now.error());
    if (*more > 0 || now->size != before_.size || now->modified != before_.modified ||
        now->changed != before_.changed) {
        return failure(Problem::FileChanged, path_);
    }
    return goOn();
}

void fold(std::uint64_t& digest, std::initializer_list<std::uint64_t> values) {
    for (const std::uint64_t v : values) {
        digest = (digest ^ v) * 0x100000001b3ULL;
        digest ^= digest >> 29;
    }
}

void foldFile(std::uint64_t& digest, const tessaly::FileStatus& s) {
    fold(digest, {s.device, s.inode, static_cast<std::uint64_t>(s.size), static_cast<std::uint64_t>(s.modified),
                  static_cast<std::uint64_t>(s.changed)});
}

Result Run::copy(File& in, const std::string& inPath, std::int64_t inOffset, File& out, const std::string& outPath,
                 std::int64_t outOffset, std::int64_t length) {
    for (std::int64_t copied = 0; copied < length;) {
        const std::int64_t slice = pacer_.sliceBytes();
        const std::int64_t want = std::min(slice, length - copied);
        const auto started = Clock::now();
        const tessaly::CopyResult r = tessaly::copyBytes(in, inOffset + copied, out, outOffset + copied, want);
        if (r.copied == slice) pacer_.sliceTook(Clock::now() - started);
        copied += r.copied;
        progress_.bytes += r.copied;
        if (r.failed == CopySide::Read) return fileFailure(Operation::Read, inPath, r.code);
        if (r.failed == CopySide::Write) return fileFailure(Operation::Write, outPath, r.code);
        if (r.copied < want) return fileFailure(Operation::Read, inPath, FileErrc::EndedEarly);
        report();
        if (!pacer_.tick()) return stopped();
    }
    return goOn();
}

} // namespace SplitMergeFile::detail
