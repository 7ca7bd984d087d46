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

namespace {

// The file-system path for an engine path (UTF-8 bytes).
fs::path fsPath(const std::string& path) {
#ifdef _WIN32
    return fs::path(widen(path));
#else
    return fs::path(path);
#endif
}

std::string fromFsName(const fs::path& name) {
#ifdef _WIN32
    return narrow(name.wstring());
#else
    return name.string();
#endif
}

} // namespace

std::string baseName(const std::string& path) {
    const auto cut = path.rfind(kPathSeparator);
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string folderPart(const std::string& path) {
    const auto cut = path.rfind(kPathSeparator);
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

bool isPresentFile(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos) return false;
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesW(widen(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) == 0;
#else
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
#endif
}

bool pathExists(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos) return false;
    std::error_code ec;
    return fs::exists(fs::symlink_status(fsPath(path), ec));
}

FileIdentity::FileIdentity(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos) return;
#ifdef _WIN32
    // The volume and the file's index on it: what a hard link shares.
    HANDLE h = CreateFileW(widen(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    BY_HANDLE_FILE_INFORMATION info{};
    exists_ = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    device_ = info.dwVolumeSerialNumber;
    inode_ = (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        size_ = static_cast<std::int64_t>((static_cast<unsigned long long>(info.nFileSizeHigh) << 32) |
                                          info.nFileSizeLow);
    }
#else
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return;
    exists_ = true;
    device_ = st.st_dev;
    inode_ = st.st_ino;
    if (S_ISREG(st.st_mode)) size_ = static_cast<std::int64_t>(st.st_size);
#endif
}

bool FileIdentity::operator==(const FileIdentity& other) const {
    return exists_ && other.exists_ && device_ == other.device_ && inode_ == other.inode_;
}

Expected<std::vector<std::string>> listFolder(const std::string& folder,
                                              const std::function<bool(const std::string& name)>& wanted) {
    std::error_code ec;
    fs::directory_iterator it(folder.empty() ? fs::path(".") : fsPath(folder), ec);
    if (ec) return ec;
    std::vector<std::string> paths;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        std::string name = fromFsName(it->path().filename());
        if (wanted(name)) paths.push_back(folder + name);
    }
    if (ec) return ec;
    return paths;
}

#ifdef _WIN32
std::wstring widen(const std::string& text) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

std::string narrow(const std::wstring& text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                      nullptr);
    std::string bytes(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), n, nullptr, nullptr);
    return bytes;
}

bool isFolderPath(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
#endif

} // namespace tessaly
