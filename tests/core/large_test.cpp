// Sets beyond 16-bit piece counts and sources beyond 32-bit sizes.
#include <cstring>

#include <sys/statvfs.h>

#include "FileSize.h"
#include "TestSupport.h"

namespace tessaly::test {
namespace {

class Large : public Scratch {};

TEST_F(Large, FortyThousandOneBytePieces) {
    const std::string out = mkdir("out"), back = mkdir("back"), bytes = byteRun(40000);
    writeFile(dir + "s", bytes);
    FakeHost split(out), join(back);
    ASSERT_EQ(SplitFile(split, dir + "s", 1), Outcome::Succeeded);
    split.expectDone(40000, kSplitDoneText);
    std::string index;
    for (int k = 1; k <= 40000; ++k) index += out + "s_splt" + std::to_string(k) + "\r\n";
    EXPECT_EQ(listing(out).size(), 40001u);
    EXPECT_TRUE(readFile(out + "s.splt") == index && readFile(out + "s_splt32768") == bytes.substr(32767, 1));
    ASSERT_EQ(JoinFiles(join, out + "s.splt"), Outcome::Succeeded);
    join.expectDone(40000, kJoinDoneText);
    EXPECT_TRUE(readFile(back + "s") == bytes);
}

// True when `length` bytes of file `a` from `aAt` equal those of `b` from
// `bAt`, read a block at a time. With `hollow`, every all-zero block of `b`
// gives its storage back afterwards (its content stays the same).
bool sameBytes(const std::string& a, std::int64_t aAt, const std::string& b, std::int64_t length, bool hollow) {
    const int fa = ::open(a.c_str(), O_RDONLY | O_CLOEXEC), fb = ::open(b.c_str(), O_RDWR | O_CLOEXEC);
    constexpr std::int64_t kBlock = 1 << 20;
    std::vector<char> ba(kBlock), bb(kBlock), zeros(kBlock);
    bool same = fa >= 0 && fb >= 0;
    for (std::int64_t done = 0; same && done < length; done += kBlock) {
        const auto want = std::size_t(std::min(kBlock, length - done));
        same = ::pread(fa, ba.data(), want, aAt + done) == ssize_t(want) &&
               ::pread(fb, bb.data(), want, done) == ssize_t(want) && std::memcmp(ba.data(), bb.data(), want) == 0;
        if (hollow && std::memcmp(bb.data(), zeros.data(), want) == 0) {
            ::fallocate(fb, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, done, std::int64_t(want));
        }
    }
    ::close(fa), ::close(fb);
    return same;
}

// Memory-backed storage when it has room for the 4 GiB the copies write
// (holes are copied as real zeros): seconds there where a disk takes a minute.
fs::path roomyParent() {
    struct statvfs shm {};
    const bool roomy = ::statvfs("/dev/shm", &shm) == 0 && std::int64_t(shm.f_bavail * shm.f_frsize) > (std::int64_t{6} << 30);
    return roomy ? fs::path("/dev/shm") : fs::temp_directory_path();
}

class Huge : public Scratch {
protected:
    Huge() : Scratch(roomyParent()) {}
};

// Marks at and around each piece boundary show that no slice moved. Each
// piece is hollowed out once checked, so one 4 GiB copy holds storage at a time.
TEST_F(Huge, SourceOver4GiBInPiecesOver2GiB) {
    const std::int64_t kGiB = std::int64_t{1} << 30, length = 4 * kGiB + 100, chunk = 2 * kGiB + 1;
    const std::string src = dir + "big.img", out = mkdir("out"), back = mkdir("back");
    std::vector<std::pair<std::int64_t, std::string>> marks{{0, "first"}, {length - 5, "last!"}};
    for (const std::int64_t at : {chunk, 2 * chunk, kGiB * 2, kGiB * 4}) marks.emplace_back(at - 3, "<|>" + std::to_string(at));
    makeSparse(src, length, marks);
    FakeHost split(out), join(back);
    ASSERT_EQ(SplitFile(split, src, chunk), Outcome::Succeeded);
    split.expectDone(3, kSplitDoneText);
    for (int k = 1; k <= 3; ++k) {
        const std::string piece = out + "big.img_splt" + std::to_string(k);
        const std::int64_t size = std::min(chunk, length - (k - 1) * chunk);
        EXPECT_TRUE(FileSize::FileSize2(piece) == size && sameBytes(src, (k - 1) * chunk, piece, size, true)) << k;
    }
    ASSERT_EQ(JoinFiles(join, out + "big.img.splt"), Outcome::Succeeded);
    join.expectDone(3, kJoinDoneText);
    EXPECT_EQ(FileSize::FileSize2(back + "big.img"), length);
    EXPECT_TRUE(sameBytes(src, 0, back + "big.img", length, false));
}

} // namespace
} // namespace tessaly::test
