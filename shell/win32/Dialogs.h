// The system's dialogs for the Win32 window: the message box, the open-file
// dialog and the folder chooser. UTF-8 in and out, UTF-16 at the system.
//
// A test driver, another process, can answer the next file or folder
// dialogs without them being shown: it sends the window WM_COPYDATA with
// dwData kNextDialogAnswer and the answer as UTF-8 ("" stands for a cancel).
// Message boxes are always shown; a driver reads and closes them.
#pragma once

#include <windows.h>

#include <string>

#include "Form1Rules.h"

namespace tessaly::win32 {

inline constexpr ULONG_PTR kNextDialogAnswer = 0x54534E41;

// Queues `answer` for the next file or folder dialog.
void answerNextDialog(const std::string& answer);

// A modal box with one OK button and the icon of `message`.
void showMessageBox(HWND owner, const WindowMessage& message);

// The chosen file's full path, or "" when the user cancelled.
std::string chooseOpenFile(HWND owner, const std::string& title, const FileType& type);

// The chosen file-system folder's path (at most MAX_PATH - 1 characters),
// or "" when the user chose none.
std::string BrowseForFolder(HWND owner, const std::string& title);

} // namespace tessaly::win32
