// The engine's splits and joins, from an empty source to one over 4 GiB and
// to 40000 pieces; the ways they fail, each saying why and leaving no
// half-written result; and the presence test the joiner relies on.
#include "FileSize.h"
#include "TestSupport.h"

namespace tessaly::test {
namespace {

const std::string kDevice = kWindows ? "NUL" : "/dev/zero";

enum class Link { None, Hard, Symbolic };

// Each row splits, checks pieces, listing and index, then joins back. Pieces
// up to 64 KiB come from 1 MiB blocks read ahead, larger ones are copied.
// Links at the output paths are replaced, never written through. (Fewer
// pieces on Windows: each new name costs Wine a scan of the folder.)
TEST_F(Engine, SplitAndJoinBack) {
    const std::string victim = dir + "victim", victimBytes(5000, 'v');
    writeFile(victim, victimBytes);
    const auto row = [&](const std::string& name, std::size_t length, std::int64_t chunk, std::int64_t pieces,
                         Link links = Link::None) {
        SCOPED_TRACE(name);
        for (const std::string& folder : {out, back}) {
            fs::remove_all(fsPath(folder));
            fs::create_directory(fsPath(folder));
        }
        for (const std::string& at : {out + "movie.avi_splt1", index, back + "movie.avi"}) {
            if (links == Link::Hard) fs::create_hard_link(fsPath(victim), fsPath(at));
            if (links == Link::Symbolic) makeSymlink(victim, at);
        }
        writeFile(src, bytes = byteRun(length));
        FakeHost split, join;
        ASSERT_EQ(summary(SplitFile(split, src, chunk, out)), "succeeded");
        Names names{"movie.avi.splt"}, steps{"0/" + std::to_string(pieces)};
        std::string listed;
        for (std::int64_t k = 1; k <= pieces; ++k) {
            steps.push_back(std::to_string(k) + "/" + std::to_string(pieces));
            names.push_back("movie.avi_splt" + std::to_string(k));
            listed += out + names.back() + "\r\n";
            const std::string expected = bytes.substr(std::size_t((k - 1) * chunk), std::size_t(chunk));
            EXPECT_EQ(readFile(out + names.back()), expected) << names.back();
        }
        EXPECT_EQ(split.steps, steps);
        std::sort(names.begin(), names.end());
        EXPECT_EQ(listing(out), names);
        EXPECT_EQ(readFile(index), listed);
        EXPECT_EQ(summary(JoinFiles(join, index, back)), "succeeded");
        EXPECT_EQ(join.steps, steps);
        EXPECT_EQ(listing(back), Names{"movie.avi"});
        EXPECT_TRUE(readFile(back + "movie.avi") == bytes);
        EXPECT_EQ(readFile(victim), victimBytes);
    };
    row("a shorter last piece, over hard links", 250, 100, 3, Link::Hard);
    row("an empty source", 0, 5, 0);
    row("a chunk of INT64_MAX, over symbolic links", 1000, INT64_MAX, 1, Link::Symbolic);
    row("pieces one byte too large to read ahead", 200000, 65537, 4);
    row("pieces read ahead, a block not a multiple of them", (5u << 19) + 43, 65535, 41);
    row("more 1-byte pieces than 16 bits count", kWindows ? 3000 : 40000, 1, kWindows ? 3000 : 40000);
}

// True when `length` bytes of `a` from `aAt` equal the start of `b`. On Linux,
// blocks of `b` holding only zeros then give back their storage, not bytes.
bool sameBytes(const std::string& a, std::int64_t aAt, const std::string& b, std::int64_t length) {
    constexpr std::int64_t kBlock = 1 << 20;
    std::ifstream inA(fsPath(a), std::ios::binary), inB(fsPath(b), std::ios::binary);
    inA.seekg(aAt);
    const std::string zeros(kBlock, '\0');
    std::string blockA = zeros, blockB = zeros;
    for (std::int64_t done = 0; done < length; done += kBlock) {
        const std::int64_t n = std::min(kBlock, length - done);
        if (!inA.read(blockA.data(), n) || !inB.read(blockB.data(), n) || blockA.compare(0, n, blockB, 0, n) != 0) {
            return false;
        }
#ifndef _WIN32
        if (blockB.compare(0, n, zeros, 0, n) == 0) {
            const int fd = ::open(b.c_str(), O_WRONLY | O_CLOEXEC);
            ::fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, done, n);
            ::close(fd);
        }
#endif
    }
    return true;
}

// Marks at and around each piece boundary show that no slice moved.
TEST_F(Engine, SourceOver4GiBInPiecesOver2GiB) {
    const std::int64_t kGiB = std::int64_t{1} << 30, length = 4 * kGiB + 100, chunk = 2 * kGiB + 1;
    const std::string img = dir + "big.img";
    std::vector<std::pair<std::int64_t, std::string>> marks{{0, "first"}, {length - 5, "last!"}};
    for (const std::int64_t at : {chunk, 2 * chunk, 2 * kGiB, 4 * kGiB}) {
        marks.emplace_back(at - 3, "<|>" + std::to_string(at));
    }
    makeSparse(img, length, marks);
    FakeHost split, join;
    ASSERT_EQ(summary(SplitFile(split, img, chunk, out)), "succeeded");
    for (int k = 1; k <= 3; ++k) {
        const std::string piece = out + "big.img_splt" + std::to_string(k);
        const std::int64_t size = std::min(chunk, length - (k - 1) * chunk);
        EXPECT_EQ(FileSize::FileSize2(piece), size) << piece;
        EXPECT_TRUE(sameBytes(img, (k - 1) * chunk, piece, size)) << piece;
    }
    ASSERT_EQ(summary(JoinFiles(join, out + "big.img.splt", back)), "succeeded");
    EXPECT_EQ(FileSize::FileSize2(back + "big.img"), length);
    EXPECT_TRUE(sameBytes(img, 0, back + "big.img", length));
}

// The size the window shows, and the join's test of a piece: an ordinary
// file, after following links. A NUL would end the path early.
TEST_F(Engine, FileSize2AndPresenceTest) {
    const auto row = [](const std::string& name, const std::string& path, std::int64_t size, bool present) {
        EXPECT_EQ(FileSize::FileSize2(path), size) << name;
        EXPECT_EQ(isPresentFile(path), present) << name;
    };
    writeFile(dir + "file", std::string(250, 'x'));
    makeSparse(dir + "big", (std::int64_t{4} << 30) + 100);
    row("a file", dir + "file", 250, true);
    row("a file over 4 GiB", dir + "big", (std::int64_t{4} << 30) + 100, true);
    row("nothing there", dir + "missing", 0, false);
    row("a folder", dir, 0, false);
    row("a device", kDevice, 0, false);
    row("a NUL in the path", dir + std::string("file\0x", 6), 0, false);
    if (makeSymlink(dir + "file", dir + "link") && makeSymlink(dir + "gone", dir + "dangling")) {
        row("a link to a file", dir + "link", 250, true);
        row("a dangling link", dir + "dangling", 0, false);
    }
#ifdef _WIN32
    for (const auto& [name, attribute] :
         {std::pair{"hidden", FILE_ATTRIBUTE_HIDDEN}, {"system", FILE_ATTRIBUTE_SYSTEM}}) {
        writeFile(dir + name, "bytes");
        SetFileAttributesW(fsPath(dir + name).c_str(), attribute);
        row(std::string("a ") + name + " file", dir + name, 5, false);
    }
#else
    makeFifo(dir + "fifo");
    writeFile(dir + ".dot", "");
    row("a FIFO", dir + "fifo", 0, false);
    row("a dot-file", dir + ".dot", 0, true);
#endif
}

// What stands at an output path before a split.
enum class Planted { Nothing, Folder, Fifo, SymbolicLinkToSource, HardLinkToSource };

// Each row splits into a folder of its own ("@" in `expected`) with `planted`
// at `at`. A failed split leaves what stood there and nothing else.
TEST_F(Engine, SplitFailures) {
    int n = 0;
    const auto row = [&](const std::string& name, const std::string& source, std::int64_t chunk, std::string expected,
                         Planted planted = Planted::Nothing, const std::string& at = "", std::string folder = "",
                         std::uint64_t limit = kNoSizeLimit) {
        SCOPED_TRACE(name);
        if (folder.empty()) folder = mkdir(std::to_string(++n));
        if (const auto i = expected.find('@'); i != std::string::npos) expected.replace(i, 1, folder);
        if (planted == Planted::Folder) fs::create_directory(fsPath(folder + at));
        if (planted == Planted::Fifo) makeFifo(folder + at);
        if (planted == Planted::HardLinkToSource) fs::create_hard_link(fsPath(source), fsPath(folder + at));
        if (planted == Planted::SymbolicLinkToSource && !makeSymlink(source, folder + at)) return;
        FakeHost host;
        EXPECT_EQ(summary(withFileSizeLimit(limit, [&] { return SplitFile(host, source, chunk, folder); })), expected);
        if (fs::exists(fsPath(folder))) {
            EXPECT_EQ(listing(folder), at.empty() ? Names{} : Names{at});
        }
    };
    const std::string none = dir + "none", nul = src + std::string("\0x", 2), crlf = dir + "cr\r\nlf/";
    const std::string grusse = dir + "src" + kPathSeparator + "Grüße €.bin";
    writeFile(grusse, bytes);
    if (!kWindows) fs::create_directory(crlf); // Windows allows no such folder
    row("missing source", none, 100, "open " + none + ": " + reason(ENOENT));
    row("folder as source", dir + "src", 100, "open " + dir + "src: " + reason(EISDIR));
    row("device as source", kDevice, 100, "open " + kDevice + ": not a regular file");
    row("NUL in the source path", nul, 100, "open " + nul + ": the name holds a NUL character");
    row("chunk size 0", src, 0, "chunk size below one");
    row("no output folder", src, 100, "create @movie.avi_splt1: " + reason(ENOENT), Planted::Nothing, "", none + "/");
    row("folder at the index path", src, 100, "create @movie.avi.splt: " + reason(EISDIR), Planted::Folder,
        "movie.avi.splt");
    row("symbolic link to the source at the index path", src, 100, "would overwrite the source: @movie.avi.splt",
        Planted::SymbolicLinkToSource, "movie.avi.splt");
    row("hard link to a non-ASCII source, in capitals", grusse, 100, "would overwrite the source: @GRüßE €.BIN_SPLT2",
        Planted::HardLinkToSource, "GRüßE €.BIN_SPLT2");
    row("CR LF in the output folder", src, 100, "line break in @movie.avi_splt1", Planted::Nothing, "", crlf);
    if (!kWindows) { // FIFOs, line feeds in names and file size limits
        makeFifo(dir + "fifo");
        writeFile(dir + "src/a\r\nb", bytes);
        const std::string full = ": " + reason(EFBIG);
        row("FIFO as source", dir + "fifo", 100, "open " + dir + "fifo: not a regular file");
        row("CR LF in the source name", dir + "src/a\r\nb", 100, "line break in @a\r\nb_splt1");
        row("FIFO at a piece path", src, 100, "create @movie.avi_splt2: not a regular file", Planted::Fifo,
            "movie.avi_splt2");
        row("disk full in a piece", src, 200, "write @movie.avi_splt1" + full, Planted::Nothing, "", "", 101);
        row("disk full in the index", src, 100, "write @movie.avi.splt" + full, Planted::Nothing, "", "", 101);
    }
    EXPECT_EQ(readFile(src), bytes);
    EXPECT_EQ(readFile(grusse), bytes);
}

// A failed join writes nothing and keeps a former rebuilt file and what it
// reads. A row writes `text` (if any) to its index ("@" in `expected`).
TEST_F(Engine, JoinFailures) {
    FakeHost split;
    ASSERT_EQ(summary(SplitFile(split, src, 100, out)), "succeeded");
    const std::string piece = out + "movie.avi_splt1\r\n", fresh = mkdir("fresh"), own = mkdir("own"), x = back + "x";
    writeFile(back + "movie.avi", "former");
    writeFile(x, "piece x");
    fs::create_directory(fsPath(back + "sub"));
    const auto row = [&](const std::string& name, const std::string& indexPath, const std::string& text,
                         const std::string& folder, std::string expected, std::uint64_t limit = kNoSizeLimit) {
        SCOPED_TRACE(name);
        if (!text.empty()) writeFile(indexPath, text);
        if (const auto at = expected.find('@'); at != std::string::npos) expected.replace(at, 1, indexPath);
        FakeHost host;
        EXPECT_EQ(summary(withFileSizeLimit(limit, [&] { return JoinFiles(host, indexPath, folder); })), expected);
    };
    row("missing index", dir + "none.splt", "", back, "open @: " + reason(ENOENT));
    row("device as index", kDevice, "", back, "open @: not a regular file");
    row("no output folder", index, "", dir + "none/", "create " + dir + "none/movie.avi: " + reason(ENOENT));
    row("into the index itself", own + "list", piece, own, "rebuilt is the index: @");
    row("into a listed piece", dir + "x.splt", piece + x, back, "rebuilt is a piece: " + x + " " + x);
    row("empty line", dir + "gap.splt", piece + "\r\n" + piece, back, "damaged: @ line 2 empty");
    row("NUL in a line", dir + "zero.splt", piece + std::string(1, '\0'), back, "damaged: @ line 2 holds NUL");
    row("line too long", dir + "long.splt", std::string(kLongestEntry + 1, 'a'), back, "damaged: @ line 1 too long");
    row("rebuilt name empty", dir + ".splt", piece, back, "no rebuilt name: @");
    row("rebuilt name ..", dir + "...splt", piece, back, "no rebuilt name: @");
    row("folder at the rebuilt path", dir + "sub.splt", piece, back, "create " + back + "sub: " + reason(EISDIR));
    if (!kWindows) { // FIFOs, /proc and file size limits
        makeFifo(dir + "fifo.splt");
        makeFifo(fresh + "fifo");
        row("FIFO as index", dir + "fifo.splt", "", back, "open @: not a regular file");
        row("FIFO at the rebuilt path", dir + "fifo", piece, fresh, "create " + fresh + "fifo: not a regular file");
        // This process's memory, read from address 0, which is not mapped.
        row("unreadable piece", dir + "mem", piece + "/proc/self/mem", fresh, "read /proc/self/mem: " + reason(EIO));
        row("disk full, former file", index, "", back, "write " + back + "movie.avi: " + reason(EFBIG), 150);
        row("disk full, no former file", index, "", fresh, "write " + fresh + "movie.avi: " + reason(EFBIG), 150);
    }
    EXPECT_EQ(listing(fresh), kWindows ? Names{} : Names{"fifo"});
    EXPECT_EQ(listing(back), (Names{"movie.avi", "sub", "x"}));
    EXPECT_EQ(readFile(back + "movie.avi"), "former");
    EXPECT_EQ(readFile(x), "piece x");
    EXPECT_EQ(listing(own), Names{"list"});
}

// Entries join in listed order. A missing piece ends the join with the bar
// full (after " at"), keeping what was joined unless a file stood there. An
// unreadable piece (to nobody, whom permissions stop) fails and keeps nothing.
TEST_F(Engine, JoinsOfListedPieces) {
    const std::string a = dir + "a_splt1", b = dir + "b_splt2", gone = dir + "gone", locked = dir + "locked";
    writeFile(a, "AAA");
    writeFile(b, "BB");
    fs::permissions(fsPath(dir), fs::perms::all);
    int n = 0;
    // `kept`: the rebuilt file's bytes, "<none>" when none is left.
    const auto row = [&](const std::string& name, const std::string& text, bool former, const std::string& expected,
                         const std::string& kept, bool asNobody = false) {
        SCOPED_TRACE(name);
        const std::string folder = mkdir(std::to_string(++n));
        fs::permissions(fsPath(folder), fs::perms::all);
        writeFile(folder + "m.splt", text);
        if (former) writeFile(folder + "m", "former");
        const auto join = [&] {
            FakeHost host;
            const std::string got = summary(JoinFiles(host, folder + "m.splt", folder));
            return got + " at " + host.steps.back();
        };
        EXPECT_EQ(asNobody ? inChild(join, true) : join(), expected);
        EXPECT_EQ(listing(folder), kept == "<none>" ? Names{"m.splt"} : (Names{"m", "m.splt"}));
        EXPECT_EQ(readFile(folder + "m"), kept == "<none>" ? "" : kept);
    };
    const std::string withGap = a + "\r\n" + gone + "\r\n" + b + "\r\n", lfOnly = a + "\n" + b + "\n";
    row("listed order", b + "\r\n" + a + "\r\n", false, "succeeded at 2/2", "BBAAA");
    row("text after the last CR LF", a + "\r\n" + b, true, "succeeded at 2/2", "AAABB");
    row("an empty index", "", true, "succeeded at 0/0", "");
    row("second missing", withGap, false, "missing piece: " + gone + " at 3/3", "AAA");
    row("second missing, former file", withGap, true, "missing piece: " + gone + " at 3/3", "former");
    row("LF-only index, former file", lfOnly, true, "missing piece: " + lfOnly + " at 1/1", "former");
    if (!kWindows) { // line feeds in names, fork, and permissions that stop a reader
        writeFile(dir + "line\nbreak", "LF");
        writeFile(locked, "22");
        fs::permissions(locked, fs::perms::none);
        row("a lone LF in a name", dir + "line\nbreak\r\n" + b + "\r\n", false, "succeeded at 2/2", "LFBB");
        row("unreadable", a + "\r\n" + locked, false, "open " + locked + ": " + reason(EACCES) + " at 1/2", "<none>",
            true);
    }
}

// A set joins wherever it travels: an entry that names nothing is looked
// for under its file name (after the last "\" or "/", on every system) beside
// the index file. Each row splits into `out`, then `carry` moves or copies
// the set and says where its index now is; `expected` is the outcome and,
// after " also ", where a missing piece was looked for too.
TEST_F(Engine, SetsJoinWhereverTheyTravel) {
    const std::string sibling = dir + "sibling" + kPathSeparator;
    int n = 0;
    const auto row = [&](const std::string& name, const std::function<std::string()>& carry,
                         const std::string& expected, const std::string& rebuilt) {
        SCOPED_TRACE(name);
        fs::remove_all(fsPath(out));
        fs::remove_all(fsPath(sibling));
        mkdir("out");
        FakeHost split, join;
        ASSERT_EQ(summary(SplitFile(split, src, 100, out)), "succeeded");
        const std::string carried = carry();
        const std::string into = mkdir("back" + std::to_string(++n));
        const Result r = JoinFiles(join, carried, into);
        EXPECT_EQ(summary(r) + (r.problem == Problem::MissingPiece ? " also " + r.other : ""), expected);
        EXPECT_EQ(listing(into), rebuilt.empty() ? Names{} : Names{"movie.avi"});
        EXPECT_EQ(readFile(into + "movie.avi"), rebuilt);
    };
    // Folders as the C++ library takes them on every system: without the
    // trailing separator.
    const auto bare = [](const std::string& folder) { return fsPath(folder.substr(0, folder.size() - 1)); };
    const auto copyOut = [&] { fs::copy(bare(out), bare(sibling)); };
    const auto moveOut = [&](const std::string& to) {
        fs::rename(bare(out), bare(to));
        return to + "movie.avi.splt";
    };
    // An index listing the pieces under another system's folder.
    const auto relist = [&](const std::string& folder) {
        return [&, folder] {
            std::string text;
            for (int k = 1; k <= 3; ++k) text += folder + "movie.avi_splt" + std::to_string(k) + "\r\n";
            writeFile(index, text);
            return index;
        };
    };
    row("moved to another folder", [&] { return moveOut(mkdir("elsewhere") + "set" + kPathSeparator); }, "succeeded",
        bytes);
    row("folder renamed", [&] { return moveOut(dir + "renamed" + kPathSeparator); }, "succeeded", bytes);
    row("written on Windows", relist("Q:\\Users\\me\\out\\"), "succeeded", bytes);
    row("written on Linux", relist("/nonexistent/tessaly/out/"), "succeeded", bytes);
    // The copy's second piece differs: the listed original is what is read.
    row("copied, original still there", [&] {
        copyOut();
        writeFile(sibling + "movie.avi_splt2", "copy");
        return sibling + "movie.avi.splt";
    }, "succeeded", bytes);
    row("split between two folders", [&] {
        copyOut();
        fs::remove(fsPath(sibling + "movie.avi_splt1"));
        fs::remove(fsPath(out + "movie.avi_splt2"));
        return sibling + "movie.avi.splt";
    }, "pieces in two folders: " + out + "movie.avi_splt1 " + sibling + "movie.avi_splt2", "");
    row("moved, a piece gone", [&] {
        const std::string index = moveOut(sibling);
        fs::remove(fsPath(sibling + "movie.avi_splt2"));
        return index;
    }, "missing piece: " + out + "movie.avi_splt2 also " + sibling + "movie.avi_splt2", bytes.substr(0, 100));
}

// Holes stay holes: a sparse source with data at both ends and in the middle,
// cut at boundaries inside and outside its holes, joins back byte for byte,
// and neither the pieces nor the rebuilt file take more room than the source
// (plus a block per piece). Where the system cannot tell holes, every byte
// is copied and only the bytes are compared.
TEST_F(Engine, HolesStayHoles) {
    // A unit of 256 KiB keeps every stretch block-aligned and the files small.
    constexpr std::int64_t kUnit = std::int64_t{1} << 18, kSize = 64 * kUnit;
    const std::string sparse = dir + "disk.img";
    makeSparse(sparse, kSize, {{0, std::string(kUnit, 'a')}, {31 * kUnit, std::string(2 * kUnit, 'm')},
                               {kSize - kUnit, std::string(kUnit, 'z')}});
    // Storage in bytes, where the system says.
    const auto stored = [](const std::string& path) -> std::int64_t {
#ifdef _WIN32
        (void)path;
        return 0;
#else
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? std::int64_t(st.st_blocks) * 512 : -1;
#endif
    };
    const std::int64_t block = 4096;
    // 16 units: cuts in holes and through the middle data; 20 units + 1: cuts
    // off block edges; 33 units: the middle data split across a cut.
    for (const std::int64_t chunk : {16 * kUnit, 20 * kUnit + 1, 33 * kUnit}) {
        SCOPED_TRACE(chunk);
        const std::string folder = mkdir("pieces" + std::to_string(chunk)), into = mkdir("back" + std::to_string(chunk));
        FakeHost split, join;
        ASSERT_EQ(summary(SplitFile(split, sparse, chunk, folder)), "succeeded");
        ASSERT_EQ(summary(JoinFiles(join, folder + "disk.img.splt", into)), "succeeded");
        EXPECT_TRUE(readFile(into + "disk.img") == readFile(sparse));
        std::int64_t pieces = 0, count = 0;
        for (std::int64_t k = 1; fs::exists(fsPath(piecePath(folder, sparse, k))); ++k, ++count) {
            pieces += stored(piecePath(folder, sparse, k));
        }
        EXPECT_LE(pieces, stored(sparse) + count * block);
        EXPECT_LE(stored(into + "disk.img"), stored(sparse) + count * block);
    }
}

} // namespace
} // namespace tessaly::test
