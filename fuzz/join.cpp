// JoinFiles over fuzzer-written index text, in a scratch folder laid out
// anew for every run with pieces, a file at the rebuilt path, links, a
// folder and more. Afterwards every file but the one at the rebuilt path is
// as it was, nothing else is new, and the rebuilt path holds its former
// content, or the listed pieces joined when the join succeeded, or the
// pieces before the first missing one when a piece was missing and nothing
// stood there before.
//
// Input: a byte choosing the index file's name, a byte choosing the output
// folder, a byte choosing whether the index is named by an absolute path
// (each the byte less '0', modulo the number of choices), then the index
// text. An '@' in the
// text stands for the scratch folder's absolute path.

#include <filesystem>
#include <fstream>
#include <map>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "IndexText.h"

namespace {

namespace fs = std::filesystem;
using namespace SplitMergeFile;

struct IndexName {
    const char* index;
    const char* rebuilt;
};
constexpr IndexName kIndexNames[] = {
    {"copy.jpg.splt", "copy.jpg"},               // a file stands there
    {"fresh.SPLT", "fresh"},                     // nothing stands there
    {"link.splt", "link"},                       // a link to the first piece
    {"dangling.Splt", "dangling"},               // a link to nothing
    {"photo.jpg_splt2.splt", "photo.jpg_splt2"}, // a piece
    {"folder.splt", "folder"},                   // a folder
    {"list", "list"},                            // the index file itself
    {".splt", ""},                               // no name at all
};

// Output folders, as given and relative to the scratch folder.
struct OutputFolder {
    const char* given;
    const char* relative;
};
constexpr OutputFolder kOutputFolders[] = {
    {"", ""}, {"./", ""}, {"@/", ""}, {"folder/", "folder/"}, {"absent/", "absent/"},
};

const std::string kSource = "0123456789abcdefghij";

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

// The source and its three pieces, an empty piece of another set, a file
// at one rebuilt path, a hidden file, a folder and two links.
void layOut() {
    writeFile("photo.jpg", kSource);
    writeFile("photo.jpg_splt1", kSource.substr(0, 8));
    writeFile("photo.jpg_splt2", kSource.substr(8, 8));
    writeFile("photo.jpg_splt3", kSource.substr(16));
    writeFile("empty_splt1", "");
    writeFile("copy.jpg", "an older copy");
    writeFile(".hidden", "hidden");
    fs::create_directory("folder");
    fs::create_symlink("photo.jpg_splt1", "link");
    fs::create_symlink("absent", "dangling");
}

// The content of the regular file at `path` (links followed), if it is one.
// Non-blocking, should an entry name something in /proc or /dev.
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

// Everything in the current folder and below, by relative path: a file's
// bytes, a link's target, or nothing for a folder. Links are not followed.
std::map<std::string, std::string> snapshot() {
    std::map<std::string, std::string> found;
    for (const auto& e : fs::recursive_directory_iterator(".")) {
        const std::string path = e.path().lexically_relative(".").string();
        if (e.is_symlink()) {
            found[path] = "link to " + fs::read_symlink(e.path()).string();
        } else if (e.is_regular_file()) {
            found[path] = "file " + *regularFile(path);
        } else {
            found[path] = "folder";
        }
    }
    return found;
}

// What a join of `entries` may leave at the rebuilt path, worked out
// before it runs.
struct Outcome {
    bool damaged = false;               // an entry is empty, holds a NUL or is too long
    std::optional<std::size_t> missing; // the first entry that names no regular file
    std::string joined;                 // all pieces, or those before the missing one
};

Outcome expect(const std::vector<std::string>& entries) {
    Outcome o;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string& e = entries[i];
        o.damaged = o.damaged || e.empty() || e.find('\0') != e.npos || e.size() > kLongestEntry;
        const auto piece = o.missing ? std::nullopt : regularFile(e);
        if (piece) o.joined += *piece;
        if (!piece && !o.missing) o.missing = i;
    }
    return o;
}

struct QuietHost : Host {
    void progress(const Progress&) override {}
    void processEvents() override {}
    bool keepGoing() override { return true; }
};

std::string replaceAll(std::string text, char from, const std::string& to) {
    for (std::size_t at = 0; (at = text.find(from, at)) != text.npos; at += to.size()) text.replace(at, 1, to);
    return text;
}

std::size_t openDescriptors() {
    return std::size_t(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

// Made once per process, removed at its end. The fuzzer's own paths may be
// relative, so the run goes back to the starting folder after each input.
struct Scratch {
    std::string path;
    int home = -1;
    Scratch() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = (tmp && *tmp ? tmp : fs::is_directory("/dev/shm") ? "/dev/shm" : "/tmp");
        pattern += "/tessaly-fuzz-join-XXXXXX";
        FUZZ_CHECK(::mkdtemp(pattern.data()) != nullptr);
        path = pattern;
        home = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        FUZZ_CHECK(home >= 0);
    }
    ~Scratch() { fs::remove_all(path); }
    void enter() const {
        FUZZ_CHECK(::chdir(path.c_str()) == 0);
        for (const auto& e : fs::directory_iterator(".")) fs::remove_all(e.path());
        layOut();
    }
    void leave() const { FUZZ_CHECK(::fchdir(home) == 0); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Scratch scratch;
    if (size < 3) return 0;
    const std::string input(reinterpret_cast<const char*>(data), size);
    const auto pick = [&](std::size_t i, std::size_t n) { return std::uint8_t(input[i] - '0') % n; };
    const IndexName& name = kIndexNames[pick(0, std::size(kIndexNames))];
    const OutputFolder& folder = kOutputFolders[pick(1, std::size(kOutputFolders))];
    const std::string index = (pick(2, 2) ? scratch.path + "/" : "") + name.index;
    const std::string text = replaceAll(input.substr(3), '@', scratch.path);
    // An empty rebuilt name names no file: then nothing may change at all.
    const std::string rebuilt = *name.rebuilt ? folder.relative + std::string(name.rebuilt) : "";

    scratch.enter();
    writeFile(name.index, text);
    const std::vector<std::string> entries = fuzz::cutAtLineEnds(text);
    const Outcome outcome = expect(entries);
    auto before = snapshot();
    const std::size_t descriptors = openDescriptors();

    QuietHost host;
    const Result r = JoinFiles(host, index, replaceAll(folder.given, '@', scratch.path));

    auto after = snapshot();
    const bool descriptorsKept = openDescriptors() == descriptors;
    scratch.leave();
    FUZZ_CHECK(descriptorsKept);
    // The rebuilt path aside, nothing changed and nothing is new (no
    // temporary file either); the index file and the source never change.
    FUZZ_CHECK(after["photo.jpg"] == "file " + kSource);
    FUZZ_CHECK(after[name.index] == "file " + text);
    const auto now = after.extract(rebuilt), then = before.extract(rebuilt);
    FUZZ_CHECK(after == before);

    if (r.succeeded()) {
        FUZZ_CHECK(!outcome.damaged && !outcome.missing);
        FUZZ_CHECK(now && now.mapped() == "file " + outcome.joined);
    } else if (r.problem == Problem::MissingPiece && !then && now) {
        FUZZ_CHECK(!outcome.damaged && outcome.missing && r.path == entries[*outcome.missing]);
        FUZZ_CHECK(now.mapped() == "file " + outcome.joined);
    } else {
        FUZZ_CHECK(now.empty() == then.empty() && (now.empty() || now.mapped() == then.mapped()));
    }
    return 0;
}
