#include "Dialogs.h"

#include <commdlg.h>
#include <shlobj.h>

#include <deque>
#include <vector>

#include "Utf16.h"

namespace tessaly::win32 {

namespace {

std::deque<std::string>& answers() {
    static std::deque<std::string> queue;
    return queue;
}

bool takeAnswer(std::string& answer) {
    if (answers().empty()) return false;
    answer = answers().front();
    answers().pop_front();
    return true;
}

UINT iconStyle(WindowMessage::Icon icon) {
    switch (icon) {
    case WindowMessage::Icon::Information: return MB_ICONINFORMATION;
    case WindowMessage::Icon::Warning: return MB_ICONWARNING;
    case WindowMessage::Icon::None: break;
    }
    return 0;
}

} // namespace

void answerNextDialog(const std::string& answer) { answers().push_back(answer); }

void showMessageBox(HWND owner, const WindowMessage& message) {
    MessageBoxW(owner, widen(message.text).c_str(), widen(message.title).c_str(), MB_OK | iconStyle(message.icon));
}

std::string chooseOpenFile(HWND owner, const std::string& title, const FileType& type) {
    if (std::string answer; takeAnswer(answer)) return answer;
    // "description NUL pattern NUL NUL": one file type.
    std::wstring filter = widen(type.description);
    filter += L'\0';
    filter += widen(type.pattern);
    filter += L'\0';
    const std::wstring wideTitle = widen(title);
    // Room for the longest path Windows takes.
    std::vector<wchar_t> name(32768, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = name.data();
    dialog.nMaxFile = static_cast<DWORD>(name.size());
    dialog.lpstrTitle = wideTitle.c_str();
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST;
    if (!GetOpenFileNameW(&dialog)) return "";
    return narrow(name.data());
}

std::string BrowseForFolder(HWND owner, const std::string& title) {
    if (std::string answer; takeAnswer(answer)) return answer;
    const std::wstring wideTitle = widen(title);
    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.lpszTitle = wideTitle.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    PIDLIST_ABSOLUTE list = SHBrowseForFolderW(&info);
    if (list == nullptr) return "";
    wchar_t path[MAX_PATH] = {};
    // A choice without a file-system path leaves the buffer empty.
    SHGetPathFromIDListW(list, path);
    CoTaskMemFree(list);
    path[MAX_PATH - 1] = L'\0';
    return narrow(path);
}

} // namespace tessaly::win32
