#include "Paths.h"
#include "WindowsPaths.h"

#include <cerrno>
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

// Where the folder part of `path` ends: the index of its last separator, or
// npos when there is none.
std::size_t lastSeparator(const std::string& path) {
#ifdef _WIN32
    const auto cut = path.find_last_of("\\/");
    if (cut != std::string::npos) return cut;
    // "C:name" is "name" in the current folder of drive C.
    const bool drive = path.size() >= 2 && path[1] == ':' &&
                       ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    return drive ? 1 : std::string::npos;
#else
    return path.rfind(kPathSeparator);
#endif
}

#ifdef _WIN32
// True when `text` is well-formed UTF-8: no stray continuation bytes, no
// overlong forms, no surrogates, nothing above U+10FFFF.
bool isUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        char32_t code = 0, lowest = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2, code = lead & 0x1F, lowest = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3, code = lead & 0x0F, lowest = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4, code = lead & 0x07, lowest = 0x10000;
        } else {
            return false;
        }
        if (text.size() - i < length) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        if (code < lowest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        i += length;
    }
    return true;
}

char asciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// True when `name`, the last part of a path, is one that Windows gives to a
// device in every folder: CON, PRN, AUX, NUL, COM0-9, LPT0-9 (also with the
// superscript digits ¹²³), CONIN$ and CONOUT$, in any letter case, also with
// an extension or a stream after it and with trailing blanks and dots.
bool isReservedDeviceName(std::string name) {
    name = name.substr(0, name.find_first_of(".:"));
    while (!name.empty() && name.back() == ' ') name.pop_back();
    for (char& c : name) c = asciiUpper(c);
    if (name == "CON" || name == "PRN" || name == "AUX" || name == "NUL" || name == "CONIN$" || name == "CONOUT$") {
        return true;
    }
    if (name.size() < 4 || (name.compare(0, 3, "COM") != 0 && name.compare(0, 3, "LPT") != 0)) return false;
    const std::string digit = name.substr(3);
    return (digit.size() == 1 && digit[0] >= '0' && digit[0] <= '9') || digit == "\xC2\xB9" || digit == "\xC2\xB2" ||
           digit == "\xC2\xB3";
}

// True when `path` starts with "\\.\" or "\\?\" (either slash), the prefixes
// that lead past the usual path rules.
bool hasNamespacePrefix(const std::string& path) {
    auto slash = [&](std::size_t i) { return path[i] == '\\' || path[i] == '/'; };
    return path.size() >= 4 && slash(0) && slash(1) && (path[2] == '.' || path[2] == '?') && slash(3);
}

// What the path leads to after a namespace prefix is a file only where a
// drive ("C:\"), a share ("UNC\") or a volume ("Volume{…}\") with a folder
// part follows; anything else ("pipe\x", "PhysicalDrive0", "C:") is a device.
bool prefixLeadsToDevice(const std::string& path) {
    const std::string rest = path.substr(4);
    auto separatorAt = [&](std::size_t i) { return i < rest.size() && (rest[i] == '\\' || rest[i] == '/'); };
    const bool drive = rest.size() >= 2 && rest[1] == ':' &&
                       ((rest[0] >= 'A' && rest[0] <= 'Z') || (rest[0] >= 'a' && rest[0] <= 'z'));
    if (drive) return !separatorAt(2);
    std::string first = rest.substr(0, rest.find_first_of("\\/"));
    for (char& c : first) c = asciiUpper(c);
    if (first == "UNC") return !separatorAt(3);
    const bool volume = first.compare(0, 7, "VOLUME{") == 0 && first.back() == '}';
    return !(volume && separatorAt(first.size()));
}

// Attributes of what `path` leads to, following a symbolic link or other
// reparse point; INVALID_FILE_ATTRIBUTES when nothing is there.
DWORD targetAttributes(const std::string& path) {
    const std::wstring wide = widen(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return attributes;
    HANDLE h = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return INVALID_FILE_ATTRIBUTES;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool read = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    return read ? info.dwFileAttributes : INVALID_FILE_ATTRIBUTES;
}
#endif

} // namespace

fs::path fsPath(const std::string& path) {
#ifdef _WIN32
    return fs::path(widen(path));
#else
    return fs::path(path);
#endif
}

std::string fromFsPath(const fs::path& path) {
#ifdef _WIN32
    return narrow(path.wstring());
#else
    return path.string();
#endif
}

std::string baseName(const std::string& path) {
    const auto cut = lastSeparator(path);
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string folderPart(const std::string& path) {
    const auto cut = lastSeparator(path);
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

bool isPresentFile(const std::string& path) {
    const Expected<Presence> presence = presenceOf(path);
    return presence && *presence == Presence::Present;
}

Expected<Presence> presenceOf(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos) return Presence::Absent;
#ifdef _WIN32
    if (namesDevice(path)) return Presence::Absent;
    const DWORD attributes = targetAttributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD e = GetLastError();
        // Nothing there, no folder for it, or a name no file can have
        // (wildcards among them): the path names no file.
        if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND || e == ERROR_INVALID_NAME ||
            e == ERROR_BAD_PATHNAME || e == ERROR_DIRECTORY) {
            return Presence::Absent;
        }
        return std::error_code(static_cast<int>(e), std::system_category());
    }
    const DWORD notOrdinary = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    return (attributes & notOrdinary) == 0 ? Presence::Present : Presence::Absent;
#else
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        // Nothing there, or a part of the path that is not a folder.
        if (errno == ENOENT || errno == ENOTDIR) return Presence::Absent;
        return std::error_code(errno, std::generic_category());
    }
    return S_ISREG(st.st_mode) ? Presence::Present : Presence::Absent;
#endif
}

bool pathExists(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos) return false;
#ifdef _WIN32
    // The attributes of the name itself, so that a dangling link counts.
    return GetFileAttributesW(widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
#else
    std::error_code ec;
    return fs::exists(fs::symlink_status(fsPath(path), ec));
#endif
}

FileIdentity::FileIdentity(const std::string& path) {
    if (path.empty()) return;
    const auto status = statusOfPath(path);
    if (!status) return;
    exists_ = true;
    status_ = *status;
}

bool FileIdentity::operator==(const FileIdentity& other) const {
    return exists_ && other.exists_ && status_.device == other.status_.device &&
           status_.inode == other.status_.inode;
}

Expected<std::vector<std::string>> listFolder(const std::string& folder,
                                              const std::function<bool(const std::string& name)>& wanted) {
    std::error_code ec;
    fs::directory_iterator it(folder.empty() ? fs::path(".") : fsPath(folder), ec);
    if (ec) return ec;
    std::vector<std::string> paths;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        std::string name = fromFsPath(it->path().filename());
        if (wanted(name)) paths.push_back(folder + name);
    }
    if (ec) return ec;
    return paths;
}

std::string indexEntryPath(std::string_view entry) {
#ifdef _WIN32
    if (isUtf8(entry)) return std::string(entry);
    // Every byte string is text in the ANSI code page: through UTF-16 to UTF-8.
    const int length = static_cast<int>(entry.size());
    const int n = MultiByteToWideChar(CP_ACP, 0, entry.data(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, entry.data(), length, wide.data(), n);
    return narrow(wide);
#else
    return std::string(entry);
#endif
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

bool namesDevice(const std::string& path) {
    if (hasNamespacePrefix(path)) {
        if (prefixLeadsToDevice(path)) return true;
        // After "\\?\" a name is taken as written: "CON" there is a file.
        if (path[2] == '?') return false;
    }
    return isReservedDeviceName(baseName(path));
}

std::error_code newFileNameProblem(const std::string& path) {
    if (namesDevice(path)) return make_error_code(FileErrc::NotRegularFile);
    const std::string name = baseName(path);
    if (!name.empty() && (name.back() == '.' || name.back() == ' ')) {
        return {ERROR_INVALID_NAME, std::system_category()};
    }
    if (name.find(':') != std::string::npos) return {ERROR_INVALID_NAME, std::system_category()};
    return {};
}
#endif

} // namespace tessaly
