#include "Paths.h"

#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
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

bool pathExists(const std::string& path) {
    if (path.empty()) return false;
    std::error_code ec;
    return fs::exists(fs::symlink_status(fs::path(path), ec));
}

void removeQuietly(const std::string& path) {
    std::error_code ec;
    fs::remove(fs::path(path), ec);
}

} // namespace tessaly
