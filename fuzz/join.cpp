// JoinFiles over fuzzer-written index text, in a scratch folder laid out anew for every run with pieces, a file
// at the rebuilt path, links, a folder and more. Afterwards every file but the one at the rebuilt path is as it
// was and nothing else is new (no temporary file either); the rebuilt path holds its former content, or the
// listed pieces joined when the join succeeded, or the pieces before the first missing one when a piece was
// missing and nothing stood there before.
//
// Input: bytes choosing the index file's name, the output folder and whether the index is named by an absolute
// path (each the byte less '0', modulo the number of choices), then the index text. '@' in the text and in the
// output folders stands for the scratch folder's absolute path.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <map>

#include "IndexText.h"

namespace {
namespace fs = std::filesystem;
using namespace SplitMergeFile;

// Index file names and the rebuilt names they give, where stand: a file, nothing, a link to the first piece,
// a link to nothing, a piece, a folder, the index file itself; the last gives no name at all.
constexpr std::pair<const char*, const char*> kIndexNames[] = {
    {"copy.jpg.splt", "copy.jpg"}, {"fresh.SPLT", "fresh"}, {"link.splt", "link"}, {"dangling.Splt", "dangling"},
    {"photo.jpg_splt2.splt", "photo.jpg_splt2"}, {"folder.splt", "folder"}, {"list", "list"}, {".splt", ""}};
constexpr const char* kOutputFolders[] = {"", "./", "@/", "folder/", "absent/"};

// Empties the current folder and lays it out anew: the index file, a source and its three pieces, an empty
// piece of another set, a file at one rebuilt path, a hidden file, a folder and two links.
void layOut(const std::string& indexName, const std::string& indexText) {
    for (const auto& e : fs::directory_iterator(".")) fs::remove_all(e.path());
    const std::pair<std::string, std::string> files[] = {
        {indexName, indexText}, {"photo.jpg", "0123456789abcdefghij"}, {"photo.jpg_splt1", "01234567"},
        {"photo.jpg_splt2", "89abcdef"}, {"photo.jpg_splt3", "ghij"}, {"empty_splt1", ""},
        {"copy.jpg", "an older copy"}, {".hidden", "hidden"}};
    for (const auto& [name, bytes] : files) std::ofstream(name, std::ios::binary) << bytes;
    fs::create_directory("folder");
    fs::create_symlink("photo.jpg_splt1", "link");
    fs::create_symlink("absent", "dangling");
}

// The bytes of the regular file at `path`, links followed, read without blocking should it be one in /proc.
std::optional<std::string> regularFile(const std::string& path) {
    struct stat st {};
    if (path.find('\0') != path.npos || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string bytes;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) bytes.append(buffer, std::size_t(n));
    ::close(fd);
    return bytes;
}

// Everything in the current folder and below by relative path: a file's bytes, a link's target, or "folder".
std::map<std::string, std::string> snapshot() {
    std::map<std::string, std::string> found;
    for (const auto& e : fs::recursive_directory_iterator(".")) {
        const std::string path = e.path().lexically_relative(".").string();
        found[path] = e.is_symlink()        ? "link to " + fs::read_symlink(e.path()).string()
                      : e.is_regular_file() ? "file " + *regularFile(path)
                                            : "folder";
    }
    return found;
}

struct QuietHost : Host {
    void progress(const Progress&) override {}
    void processEvents() override {}
    bool keepGoing() override { return true; }
};

// The runs' folder, removed at the end, and the folder to go back to after each: the fuzzer's paths may be relative.
struct Scratch {
    const fs::path home = fs::current_path();
    std::string path = (fs::temp_directory_path() / "tessaly-fuzz-join-XXXXXX").string();
    Scratch() { FUZZ_CHECK(::mkdtemp(path.data()) != nullptr); }
    ~Scratch() { fs::remove_all(path); }
    // `text` with every '@' replaced by the folder's path.
    std::string placed(std::string text) const {
        for (std::size_t at = 0; (at = text.find('@', at)) != text.npos; at += path.size()) text.replace(at, 1, path);
        return text;
    }
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Scratch scratch;
    if (size < 3) return 0;
    const std::string input(reinterpret_cast<const char*>(data), size);
    const auto pick = [&](std::size_t i, std::size_t n) { return std::uint8_t(input[i] - '0') % n; };
    const auto [indexName, rebuiltName] = kIndexNames[pick(0, std::size(kIndexNames))];
    const std::string folder = kOutputFolders[pick(1, std::size(kOutputFolders))];
    const std::string index = (pick(2, 2) ? scratch.path + "/" : "") + indexName;
    const std::string text = scratch.placed(input.substr(3));
    // The rebuilt path as the snapshots name it ("./" and "@/" are the scratch folder); without a name, none.
    const std::string rebuilt = *rebuiltName ? (folder.find_first_of(".@") == 0 ? "" : folder) + rebuiltName : "";

    fs::current_path(scratch.path);
    layOut(indexName, text);
    // Before the join: whether an entry is damaged (empty, holding a NUL, too long), the first entry naming
    // no regular file as listed or beside the index, and the pieces it will have joined (all of them, or those before the missing one).
    const std::vector<std::string> entries = fuzz::cutAtLineEnds(text);
    bool damaged = false;
    std::optional<std::size_t> missing;
    std::string joined;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string& e = entries[i];
        damaged = damaged || e.empty() || e.find('\0') != e.npos || e.size() > kLongestEntry;
        // A piece not found as listed is looked for under its name (after the last '\\' or '/') beside the
        // index file, which is in the current folder.
        auto piece = missing ? std::nullopt : regularFile(e);
        if (!piece && !missing) piece = regularFile(e.substr(e.find_last_of("\\/") + 1));
        if (piece) joined += *piece;
        if (!piece && !missing) missing = i;
    }
    auto before = snapshot();
    QuietHost host;
    const Result r = JoinFiles(host, index, scratch.placed(folder), AfterMissingPiece::KeepJoined);
    auto after = snapshot();
    fs::current_path(scratch.home);

    // The rebuilt path aside, nothing changed and nothing is new; the index file never changes.
    FUZZ_CHECK(after[indexName] == "file " + text);
    const auto now = after.extract(rebuilt), then = before.extract(rebuilt);
    FUZZ_CHECK(after == before);
    // The rebuilt path holds the pieces joined after a join that succeeded, or that met a missing piece (naming the
    // first one) where nothing stood before; else what stood there before, if anything.
    if (r.succeeded() || (r.problem == Problem::MissingPiece && !then)) {
        FUZZ_CHECK(!damaged);
        FUZZ_CHECK(r.succeeded() == !missing);
        FUZZ_CHECK(r.succeeded() || r.path == entries[*missing]);
        FUZZ_CHECK(now);
        FUZZ_CHECK(now.mapped() == "file " + joined);
    } else {
        FUZZ_CHECK((now ? now.mapped() : "nothing") == (then ? then.mapped() : "nothing"));
    }
    return 0;
}
