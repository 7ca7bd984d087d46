// Sets beyond 16-bit piece counts and sources beyond 32-bit sizes.
#include <sys/statvfs.h>

#include "FileSize.h"
#include "TestSupport.h"

namespace tessaly::test {
namespace {

using namespace SplitMergeFile;

class Large : public ScratchTest {};

TEST_F(Large, FortyThousandOneBytePiecesSplitAndJoinBack) {
    constexpr std::int64_t kPieces = 40000;
    const std::string src = mkdir("src") + "s", out = mkdir("out"), back = mkdir("back");
    const std::string bytes = byteRun(kPieces);
    writeFile(src, bytes);

    FakeHost split(out);
    ASSERT_EQ(SplitFile(split, src, 1), Outcome::Succeeded);
    EXPECT_EQ(split.progress, fullProgress(kPieces));
    EXPECT_EQ(listing(out).size(), std::size_t(kPieces + 1));
    EXPECT_EQ(readFile(out + "s_splt32768"), bytes.substr(32767, 1));
    EXPECT_EQ(readFile(out + "s_splt40000"), bytes.substr(39999, 1));
    const std::vector<std::string> entries = ParseIndex(readFile(out + "s.splt"));
    ASSERT_EQ(entries.size(), std::size_t(kPieces));
    EXPECT_EQ(entries[32767], out + "s_splt32768");
    EXPECT_EQ(entries.back(), out + "s_splt40000");

    FakeHost join(back);
    ASSERT_EQ(JoinFiles(join, out + "s.splt"), Outcome::Succeeded);
    EXPECT_EQ(join.progress, fullProgress(kPieces));
    EXPECT_EQ(readFile(back + "s"), bytes);
}

// Memory-backed storage when there is room for the 4 GiB that the copies
// write (sparse holes are copied as real zeros), since it takes these in a
// few seconds where a disk can take a minute.
fs::path roomyScratchParent() {
    struct statvfs shm {};
    if (::statvfs("/dev/shm", &shm) == 0 && std::int64_t(shm.f_bavail) * std::int64_t(shm.f_frsize) > (std::int64_t{6} << 30)) {
        return "/dev/shm";
    }
    return fs::temp_directory_path();
}

class Huge : public ScratchTest {
protected:
    Huge() : ScratchTest(roomyScratchParent()) {}
};

// Marks at and around each piece boundary show that no slice moved. Each
// piece is checked, then hollowed out, so that at most one 4 GiB copy holds
// storage at a time.
TEST_F(Huge, SourceOver4GiBSplitsIntoPiecesOver2GiBAndJoinsBack) {
    const std::int64_t kGiB = std::int64_t{1} << 30;
    const std::int64_t length = 4 * kGiB + 100, chunk = 2 * kGiB + 1;
    const std::int64_t sizes[] = {chunk, chunk, length - 2 * chunk};
    const std::string src = mkdir("src") + "big.img", out = mkdir("out"), back = mkdir("back");
    std::vector<std::pair<std::int64_t, std::string>> marks{{0, "first"}, {length - 5, "last!"}};
    for (const std::int64_t boundary : {chunk, 2 * chunk, kGiB * 2, kGiB * 4}) {
        marks.emplace_back(boundary - 3, "<|>" + std::to_string(boundary));
    }
    makeSparse(src, length, marks);
    ASSERT_EQ(FileSize::FileSize2(src), length);

    FakeHost split(out);
    ASSERT_EQ(SplitFile(split, src, chunk), Outcome::Succeeded);
    EXPECT_EQ(split.progress, fullProgress(3));
    for (int k = 1; k <= 3; ++k) {
        const std::string piece = out + "big.img_splt" + std::to_string(k);
        EXPECT_EQ(FileSize::FileSize2(piece), sizes[k - 1]) << piece;
        EXPECT_TRUE(sameBytes(src, (k - 1) * chunk, piece, 0, sizes[k - 1])) << piece;
        hollowOut(piece);
    }

    FakeHost join(back);
    ASSERT_EQ(JoinFiles(join, out + "big.img.splt"), Outcome::Succeeded);
    EXPECT_EQ(join.progress, fullProgress(3));
    EXPECT_EQ(FileSize::FileSize2(back + "big.img"), length);
    EXPECT_TRUE(sameBytes(src, 0, back + "big.img", 0, length));
}

} // namespace
} // namespace tessaly::test
