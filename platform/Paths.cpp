#include "Paths.h"

#include <filesystem>
#include <system_error>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;

namespace tessaly {

std::string baseName(const std::string& path) {
    const auto cut = path.rfind(kPathSeparator);
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string folderPart(const std::string& path) {
    const auto cut = path.rfind(kPathSeparator);
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

bool isPresentFile(const std::string& path) {
    if (path.empty()) return false;
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) == 0;
#else
    std::error_code ec;
    return fs::is_regular_file(fs::path(path), ec);
#endif
}

bool isSameFile(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return false;
    std::error_code ec;
    const bool same = fs::equivalent(fs::path(a), fs::path(b), ec);
    return !ec && same;
}

FileIdentity::FileIdentity(std::string path) : path_(std::move(path)) {
#ifdef _WIN32
    exists_ = pathExists(path_);
#else
    struct stat st {};
    exists_ = !path_.empty() && ::stat(path_.c_str(), &st) == 0;
    device_ = st.st_dev;
    inode_ = st.st_ino;
#endif
}

bool FileIdentity::sameAs(const std::string& other) const {
    if (!exists_ || other.empty()) return false;
#ifdef _WIN32
    return isSameFile(path_, other);
#else
    struct stat st {};
    return ::stat(other.c_str(), &st) == 0 && st.st_dev == device_ && st.st_ino == inode_;
#endif
}

bool pathExists(const std::string& path) {
    if (path.empty()) return false;
    std::error_code ec;
    return fs::exists(fs::symlink_status(fs::path(path), ec));
}

std::optional<std::vector<std::string>> listFolder(const std::string& folder,
                                                   const std::function<bool(const std::string& name)>& wanted) {
    std::error_code ec;
    fs::directory_iterator it(folder.empty() ? fs::path(".") : fs::path(folder), ec);
    if (ec) return std::nullopt;
    std::vector<std::string> paths;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (wanted(name)) paths.push_back(folder + name);
    }
    if (ec) return std::nullopt;
    return paths;
}

void removeQuietly(const std::string& path) {
    std::error_code ec;
    fs::remove(fs::path(path), ec);
}

} // namespace tessaly
