// What Windows does differently: UTF-16 names under the engine's UTF-8,
// both slashes, letters that match in either case, hidden files, files that
// another program holds open, device names, names that Windows trims, and
// index files written in the ANSI code page. Every row runs on every
// system where it means something; rows about Windows alone skip elsewhere.
#include "File.h"
#include "FileSize.h"
#include "Paths.h"
#include "TestSupport.h"

namespace tessaly::test {
namespace {

#define WINDOWS_ONLY(what)                                                                                             \
    if (!kWindows) GTEST_SKIP() << what << " only on Windows"

enum class Attribute { Hidden, System };

void setAttribute(const std::string& path, Attribute attribute) {
#ifdef _WIN32
    const DWORD value = attribute == Attribute::Hidden ? FILE_ATTRIBUTE_HIDDEN : FILE_ATTRIBUTE_SYSTEM;
    ASSERT_TRUE(SetFileAttributesW(fsPath(path).c_str(), value)) << path;
#else
    (void)attribute;
    ADD_FAILURE() << "no file attributes here: " << path;
#endif
}

// Removes a file when it goes out of scope.
class RemovedAtEnd {
public:
    explicit RemovedAtEnd(std::string path) : path_(std::move(path)) {}
    ~RemovedAtEnd() {
#ifdef _WIN32
        DeleteFileW(fsPath(path_).c_str());
#else
        ::unlink(path_.c_str());
#endif
    }
    RemovedAtEnd(const RemovedAtEnd&) = delete;
    RemovedAtEnd& operator=(const RemovedAtEnd&) = delete;

private:
    std::string path_;
};

// Names from the ANSI code page of Western systems (1252), among them its
// characters 0x80 to 0x9F, and from outside it.
const std::string kNames[] = {
    "Grüße ä.bin",
    "€ report.bin",
    "– — “quoted” ‘single’ … .bin",
    "日本語のファイル.bin",
};

// Split and joined back under each name, with the folders named outside
// the code page too: the pieces, the index entries and the rebuilt file
// carry the names exactly.
TEST_F(Engine, NonAsciiNamesSplitAndJoinBack) {
    const std::string folderOut = mkdir("Ausgabe ä € 出力"), folderBack = mkdir("zurück – 戻る");
    for (const std::string& name : kNames) {
        SCOPED_TRACE(name);
        const std::string source = dir + "src" + kPathSeparator + name;
        writeFile(source, bytes);
        FakeHost split, join;
        ASSERT_EQ(summary(SplitFile(split, source, 100, folderOut)), "succeeded");
        const Names pieces{name + ".splt", name + "_splt1", name + "_splt2", name + "_splt3"};
        EXPECT_EQ(listing(folderOut), pieces);
        EXPECT_EQ(readFile(folderOut + name + "_splt3"), bytes.substr(200));
        const std::string indexPath = folderOut + name + ".splt";
        std::string listed;
        for (int k = 1; k <= 3; ++k) listed += folderOut + name + "_splt" + std::to_string(k) + "\r\n";
        EXPECT_EQ(readFile(indexPath), listed);
        // Written under a hidden temporary name, shown once named.
        EXPECT_TRUE(isPresentFile(indexPath));
        EXPECT_EQ(summary(JoinFiles(join, indexPath, folderBack)), "succeeded");
        EXPECT_EQ(listing(folderBack), Names{name});
        EXPECT_EQ(readFile(folderBack + name), bytes);
        EXPECT_TRUE(isPresentFile(folderBack + name));
        fs::remove_all(fsPath(folderOut));
        fs::remove_all(fsPath(folderBack));
        mkdir("Ausgabe ä € 出力");
        mkdir("zurück – 戻る");
    }
}

// A hard link to the source at an output path is refused whatever the
// name, and the source keeps its bytes.
TEST_F(Engine, HardLinkToTheSourceUnderNonAsciiNames) {
    struct Row {
        std::string name, linkName;
    };
    const Row rows[] = {
        {"Grüße ä.bin", "Grüße ä.bin_splt1"},
        {"€ report.bin", "€ REPORT.BIN.SPLT"},
        {"日本語.bin", "日本語.bin_splt2"},
    };
    int n = 0;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const std::string folder = mkdir(std::to_string(++n)), source = dir + "src" + kPathSeparator + r.name;
        writeFile(source, bytes);
        fs::create_hard_link(fsPath(source), fsPath(folder + r.linkName));
        FakeHost host;
        EXPECT_EQ(summary(SplitFile(host, source, 100, folder)), "would overwrite the source: " + folder + r.linkName);
        EXPECT_EQ(readFile(source), bytes);
        EXPECT_EQ(listing(folder), Names{r.linkName});
    }
}

// On Windows "/" and "\" both separate path parts, in any mix, and so does
// the colon of a drive; elsewhere a backslash is part of a name.
TEST(Paths, BaseNameAndFolderPart) {
    struct Row {
        std::string path, base, folder;
    };
    const std::vector<Row> rows =
        kWindows ? std::vector<Row>{
                       {"Z:/data/src.bin", "src.bin", "Z:/data/"},
                       {"C:\\data\\src.bin", "src.bin", "C:\\data\\"},
                       {"C:\\data/sub\\src.bin", "src.bin", "C:\\data/sub\\"},
                       {"C:/data\\sub/src.bin", "src.bin", "C:/data\\sub/"},
                       {"C:src.bin", "src.bin", "C:"},
                       {"\\\\server\\share\\src.bin", "src.bin", "\\\\server\\share\\"},
                       {"src.bin", "src.bin", ""},
                       {"C:\\out\\", "", "C:\\out\\"},
                   }
                 : std::vector<Row>{
                       {"/data/src.bin", "src.bin", "/data/"},
                       {"/data/a\\b.bin", "a\\b.bin", "/data/"},
                       {"C:src.bin", "C:src.bin", ""},
                       {"src.bin", "src.bin", ""},
                       {"/out/", "", "/out/"},
                   };
    for (const Row& r : rows) {
        EXPECT_EQ(baseName(r.path), r.base) << r.path;
        EXPECT_EQ(folderPart(r.path), r.folder) << r.path;
    }
}

// Paths typed with either slash, or both, reach the engine as typed: the
// pieces are named after the source's own name, in the folder given, and
// the join builds its result beside the rebuilt path, not in the current
// folder.
TEST_F(Engine, SlashesAndBackslashesInAnyMix) {
    WINDOWS_ONLY("\"\\\" as a separator");
    auto spelled = [](std::string path, char from, char to) {
        std::replace(path.begin(), path.end(), from, to);
        return path;
    };
    struct Row {
        std::string name;
        char sourceSlash, folderSlash;
    };
    const Row rows[] = {
        {"forward slashes", '/', '/'},
        {"backslashes", '\\', '\\'},
        {"source with forward slashes, folder with backslashes", '/', '\\'},
        {"source with backslashes, folder with forward slashes", '\\', '/'},
    };
    const std::string current = utf8(fs::current_path()) + kPathSeparator;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        fs::remove_all(fsPath(out));
        fs::remove_all(fsPath(back));
        mkdir("out");
        mkdir("back");
        const std::string source = spelled(spelled(src, '\\', '/'), '/', r.sourceSlash);
        const std::string folderOut = spelled(spelled(out, '\\', '/'), '/', r.folderSlash);
        const std::string folderBack = spelled(spelled(back, '\\', '/'), '/', r.sourceSlash);
        FakeHost split, join;
        ASSERT_EQ(summary(SplitFile(split, source, 100, folderOut)), "succeeded");
        EXPECT_EQ(listing(out), (Names{"movie.avi.splt", "movie.avi_splt1", "movie.avi_splt2", "movie.avi_splt3"}));
        Names pendingBeside, pendingInCurrent;
        bool looked = false;
        join.onProgress = [&](const Progress& p) {
            if (p.pieces != 1 || looked) return;
            looked = true;
            for (const std::string& name : listing(back)) {
                if (name.starts_with(".tessaly-")) pendingBeside.push_back(name);
            }
            for (const std::string& name : listing(current)) {
                if (name.starts_with(".tessaly-")) pendingInCurrent.push_back(name);
            }
        };
        EXPECT_EQ(summary(JoinFiles(join, spelled(folderOut, '\\', '/') + "movie.avi.splt", folderBack)), "succeeded");
        EXPECT_EQ(pendingBeside.size(), 1u);
        EXPECT_EQ(pendingInCurrent, Names{});
        EXPECT_EQ(listing(back), Names{"movie.avi"});
        EXPECT_EQ(readFile(back + "movie.avi"), bytes);
    }
}

// Windows matches names in either letter case, so a rebuilt name that
// differs from a listed piece only in case names that piece, and a former
// file in other case is the one replaced. Elsewhere both are other files.
TEST_F(Engine, NamesThatDifferOnlyInLetterCase) {
    const std::string p = mkdir("p");
    writeFile(p + "x_splt1", "piece");
    writeFile(p + "X_SPLT1.splt", p + "x_splt1\r\n");
    FakeHost intoPiece;
    const std::string rebuilt = p + "X_SPLT1";
    EXPECT_EQ(summary(JoinFiles(intoPiece, p + "X_SPLT1.splt", p)),
              kWindows ? "rebuilt is a piece: " + rebuilt + " " + p + "x_splt1" : "succeeded");
    EXPECT_EQ(readFile(p + "x_splt1"), "piece");

    FakeHost split, join;
    ASSERT_EQ(summary(SplitFile(split, src, 100, out)), "succeeded");
    writeFile(back + "MOVIE.AVI", "former");
    EXPECT_EQ(summary(JoinFiles(join, index, back)), "succeeded");
    const Names names = listing(back);
    EXPECT_EQ(names.size(), kWindows ? 1u : 2u);
    EXPECT_EQ(readFile(back + "movie.avi"), bytes);
}

// On Windows hidden and system files are not present: a join that lists
// one stops there as at a missing piece.
TEST_F(Engine, HiddenAndSystemFilesAreNotPresent) {
    WINDOWS_ONLY("hidden and system attributes");
    const std::string plain = dir + "plain", hidden = dir + "hidden", system = dir + "system";
    for (const std::string& path : {plain, hidden, system}) writeFile(path, "bytes");
    setAttribute(hidden, Attribute::Hidden);
    setAttribute(system, Attribute::System);
    EXPECT_TRUE(isPresentFile(plain));
    EXPECT_FALSE(isPresentFile(hidden));
    EXPECT_FALSE(isPresentFile(system));
    writeFile(dir + "m.splt", plain + "\r\n" + hidden + "\r\n");
    FakeHost host;
    EXPECT_EQ(summary(JoinFiles(host, dir + "m.splt", back)), "missing piece: " + hidden);
    EXPECT_EQ(readFile(back + "m"), "bytes");
}

// A file that another program holds open without sharing cannot be
// replaced or read on Windows: the run fails with Windows's reason and
// keeps what stood there. Elsewhere an open file is no obstacle.
TEST_F(Engine, FilesHeldOpenByAnotherProgram) {
    FakeHost earlier;
    ASSERT_EQ(summary(SplitFile(earlier, src, 100, out)), "succeeded");
    writeFile(back + "movie.avi", "former");
    const std::string piece1 = out + "movie.avi_splt1", rebuilt = back + "movie.avi";
    std::string got;
    {
        HeldOpen held(rebuilt);
        FakeHost host;
        got = summary(JoinFiles(host, index, back));
    }
    if (kWindows) {
        // Wine refuses the replacement as access denied, Windows may call
        // it a sharing violation.
        EXPECT_TRUE(got == "write " + rebuilt + ": " + win32Reason(kAccessDenied) ||
                    got == "write " + rebuilt + ": " + win32Reason(kSharingViolation))
            << got;
        EXPECT_EQ(readFile(rebuilt), "former");
    } else {
        EXPECT_EQ(got, "succeeded");
    }
    EXPECT_EQ(listing(back), Names{"movie.avi"});
    {
        HeldOpen held(piece1);
        FakeHost host;
        got = summary(SplitFile(host, src, 100, out));
    }
    EXPECT_EQ(got, kWindows ? "create " + piece1 + ": " + win32Reason(kSharingViolation) : "succeeded");
    EXPECT_EQ(readFile(piece1), bytes.substr(0, 100));
    {
        HeldOpen held(src);
        FakeHost host;
        got = summary(SplitFile(host, src, 100, back));
    }
    EXPECT_EQ(got, kWindows ? "open " + src + ": " + win32Reason(kSharingViolation) : "succeeded");
}

// Device names reach a device in every folder on Windows: as a source, a
// listed piece, an index or a rebuilt name they are refused without being
// opened, and nothing is written. A file that carries such a name (made
// through "\\?\") is read through that prefix but not given it again.
TEST_F(Engine, DeviceNames) {
    WINDOWS_ONLY("device names");
    const std::string literal = "\\\\?\\" + dir + "src" + kPathSeparator;
    // The C++ library cannot remove these names: they go first, however the test ends.
    const RemovedAtEnd con(literal + "CON"), nul(literal + "NUL.splt");
    writeFile(literal + "CON", bytes);
    writeFile(literal + "NUL.splt", src + "\r\n");
    writeFile(dir + "devices.splt", src + "\r\n" + dir + "AUX\r\n" + src + "\r\n");
    struct Row {
        std::string name;
        bool join;
        std::string path, expected;
        Names out;
    };
    const std::string notRegular = ": not a regular file";
    const Row rows[] = {
        {"NUL as source", false, "NUL", "open NUL" + notRegular, {}},
        {"COM1 in a folder as source", false, dir + "COM1", "open " + dir + "COM1" + notRegular, {}},
        {"device name with an extension", false, dir + "nul.txt", "open " + dir + "nul.txt" + notRegular, {}},
        {"device name with blanks and a dot", false, dir + "con .", "open " + dir + "con ." + notRegular, {}},
        {"a pipe", false, "\\\\.\\pipe\\tessaly", "open \\\\.\\pipe\\tessaly" + notRegular, {}},
        {"a volume", false, "\\\\.\\C:", "open \\\\.\\C:" + notRegular, {}},
        {"index named CON.splt", false, literal + "CON", "create " + out + "CON.splt" + notRegular, {}},
        {"rebuilt name NUL", true, literal + "NUL.splt", "create " + out + "NUL" + notRegular, {}},
        {"device as a listed piece", true, dir + "devices.splt", "missing piece: " + dir + "AUX", {"devices"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        fs::remove_all(fsPath(out));
        mkdir("out");
        FakeHost host;
        const Result result = r.join ? JoinFiles(host, r.path, out) : SplitFile(host, r.path, 100, out);
        EXPECT_EQ(summary(result), r.expected);
        EXPECT_EQ(listing(out), r.out);
    }
}

// Windows drops trailing dots and blanks from a name, and a colon in it
// names a stream of another file: a rebuilt or piece name like that would
// land on another file, so it is refused. Elsewhere they are plain names.
TEST_F(Engine, NamesWindowsWouldChange) {
    struct Row {
        std::string indexName, rebuiltName;
    };
    const Row rows[] = {{"a..splt", "a."}, {"x .splt", "x "}, {"b. . .splt", "b. . "}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.indexName);
        fs::remove_all(fsPath(back));
        mkdir("back");
        writeFile(back + "a", "other file");
        writeFile(dir + r.indexName, src + "\r\n");
        FakeHost host;
        const std::string rebuilt = back + r.rebuiltName;
        EXPECT_EQ(summary(JoinFiles(host, dir + r.indexName, back)),
                  kWindows ? "create " + rebuilt + ": " + win32Reason(kInvalidName) : "succeeded");
        EXPECT_EQ(readFile(back + "a"), "other file");
    }
    if (kWindows) {
        FakeHost host;
        const std::string folder = out + "stream:";
        EXPECT_EQ(summary(SplitFile(host, src, 100, folder)),
                  "create " + folder + "movie.avi.splt: " + win32Reason(kInvalidName));
        EXPECT_EQ(listing(out), Names{});
    }
}

// An index written by an earlier Windows program lists its entries in the
// ANSI code page; read there it joins. Elsewhere the entries are the bytes
// as they stand, which name no file.
TEST_F(Engine, IndexInTheAnsiCodePage) {
#ifdef _WIN32
    if (GetACP() != 1252) GTEST_SKIP() << "the entries are written in code page 1252";
#endif
    struct Row {
        std::string name, entryName;
    };
    const Row rows[] = {
        {"Grüße ä.bin", "Gr\xFC\xDF" "e \xE4.bin"},
        {"€ – report.bin", "\x80 \x96 report.bin"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        fs::remove_all(fsPath(out));
        fs::remove_all(fsPath(back));
        mkdir("out");
        mkdir("back");
        const std::string source = dir + "src" + kPathSeparator + r.name;
        writeFile(source, bytes);
        FakeHost split, join;
        ASSERT_EQ(summary(SplitFile(split, source, 100, out)), "succeeded");
        std::string entries;
        for (int k = 1; k <= 3; ++k) entries += out + r.entryName + "_splt" + std::to_string(k) + "\r\n";
        writeFile(dir + "old.splt", entries);
        const std::string first = out + r.entryName + "_splt1";
        EXPECT_EQ(summary(JoinFiles(join, dir + "old.splt", back)), kWindows ? "succeeded" : "missing piece: " + first);
        if (kWindows) {
            EXPECT_EQ(readFile(back + "old"), bytes);
        }
        EXPECT_EQ(indexEntryPath(r.entryName), kWindows ? r.name : r.entryName);
    }
}

// One read or write larger than a system call takes is cut into calls that
// can. Win32 counts in 32 bits: a read asked for 4 GiB gets what the file
// holds, not "end of file", and a write of over 4 GiB writes it all. Linux
// moves at most 2 GiB per call, so there the write is just over that.
TEST_F(Engine, ReadsAndWritesLargerThanOneCall) {
    constexpr std::size_t kGiB = std::size_t{1} << 30;
    const std::size_t writeSize = (kWindows ? 4 * kGiB : 2 * kGiB) + 8;
    // Reserved, not touched: the pages cost memory only once written.
    std::unique_ptr<char[]> buffer(new char[4 * kGiB + 8]);
    writeFile(dir + "small", "0123456789");
    auto small = File::openRead(dir + "small");
    ASSERT_TRUE(small);
    for (const std::size_t n : {2 * kGiB + 1, 4 * kGiB, 4 * kGiB + 7}) {
        const auto got = small->readAt(buffer.get(), n, 0);
        ASSERT_TRUE(got) << n;
        EXPECT_EQ(*got, 10) << n;
    }
    // Only the last bytes are looked at again; the rest may hold anything.
    std::fill_n(buffer.get() + writeSize - 8, 8, 'e');
    auto large = File::createNew(dir + "large");
    ASSERT_TRUE(large);
    EXPECT_FALSE(large->writeAt(buffer.get(), writeSize, 0));
    ASSERT_FALSE(large->close());
    EXPECT_EQ(FileSize::FileSize2(dir + "large"), std::int64_t(writeSize));
    auto written = File::openRead(dir + "large");
    ASSERT_TRUE(written);
    char end[8] = {};
    EXPECT_EQ(*written->readAt(end, 8, std::int64_t(writeSize - 8)), 8);
    EXPECT_EQ(std::string(end, 8), "eeeeeeee");
}

} // namespace
} // namespace tessaly::test
