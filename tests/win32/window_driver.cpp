// Works the Win32 window from another process: finds it by its caption and
// its controls by class and position, types with WM_SETTEXT, presses with
// BM_CLICK, reads and closes its message boxes (text, title, icon), reads
// the progress bar, the registry and the keyboard order.
//
//   tessaly-window-driver TESSALY_EXE WORK_FOLDER [SCREENSHOT.bmp]
//
// WORK_FOLDER (ending in a backslash) holds the 20 MB source named in
// kSource; the driver writes everything else there. Prints one line a check
// and exits 1 when any failed.
#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "Dialogs.h"
#include "Layout.h"
#include "Utf16.h"

namespace {

using namespace std::chrono_literals;
using tessaly::narrow;
using tessaly::widen;

const std::string kSource = "Grüße – “20 MB” 日本語.bin";
const wchar_t* kKey = L"Software\\Orvane\\Tessaly";
int failures = 0;

void check(bool ok, const std::string& what, const std::string& got = "") {
    if (!ok) ++failures;
    std::printf("%s %s%s%s\n", ok ? "ok  " : "FAIL", what.c_str(), got.empty() ? "" : ": ", got.c_str());
    std::fflush(stdout);
}

void expectEqual(const std::string& got, const std::string& expected, const std::string& what) {
    check(got == expected, what, got == expected ? "" : "got \"" + got + "\", expected \"" + expected + "\"");
}

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 60s) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(20ms);
    }
    return condition();
}

std::string textOf(HWND hwnd) {
    // WM_GETTEXT crosses processes; the system copies the text back.
    const LRESULT length = SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT got = SendMessageW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(got));
    return narrow(text);
}

std::string className(HWND hwnd) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    return narrow(name);
}

std::string registryValue(const char* name) {
    wchar_t buffer[4096] = {};
    DWORD bytes = sizeof buffer - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CURRENT_USER, kKey, widen(name).c_str(), RRF_RT_REG_SZ, nullptr, buffer, &bytes) !=
        ERROR_SUCCESS) {
        return "<absent>";
    }
    return narrow(buffer);
}

// Which icon a box shows, told by its colours on the screen: the warning
// icon is a yellow triangle, the information icon a blue disc (icon handles
// cannot be compared across processes).
int iconShownIn(HWND iconControl) {
    RECT r{};
    GetWindowRect(iconControl, &r);
    HDC screen = GetDC(nullptr);
    int yellow = 0, blue = 0;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
            const COLORREF c = GetPixel(screen, x, y);
            const int red = GetRValue(c), green = GetGValue(c), b = GetBValue(c);
            if (red > 180 && green > 150 && b < 100) ++yellow;
            if (b > 150 && red < 100) ++blue;
        }
    }
    ReleaseDC(nullptr, screen);
    if (yellow > 20 && yellow > blue) return 48;
    if (blue > 20) return 64;
    return -1;
}

// One started tessaly.exe and its window.
struct App {
    PROCESS_INFORMATION process{};
    HWND window = nullptr;

    explicit App(const std::wstring& exe) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        std::wstring commandLine = L"\"" + exe + L"\"";
        if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &process)) {
            check(false, "start tessaly.exe");
            return;
        }
        WaitForInputIdle(process.hProcess, 30000);
        waitFor([&] {
            window = FindWindowW(nullptr, L"Tessaly");
            return window != nullptr;
        });
        check(window != nullptr, "window found by its caption");
    }
    ~App() {
        if (process.hProcess == nullptr) return;
        if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
            PostMessageW(window, WM_CLOSE, 0, 0);
            if (WaitForSingleObject(process.hProcess, 30000) == WAIT_TIMEOUT) TerminateProcess(process.hProcess, 1);
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }

    // The control of `name`: a child of the right class whose place, read
    // back in pixels of the client area, holds the centre the layout gives it.
    HWND control(const char* name) const {
        const tessaly::layout::Control& c = tessaly::layout::control(name);
        int left = c.place.left, top = c.place.top;
        if (c.in != tessaly::layout::In::Form1) {
            const auto& frame = tessaly::layout::control(c.in == tessaly::layout::In::Frame1 ? "Frame1" : "Frame2");
            left += frame.place.left;
            top += frame.place.top;
        }
        const UINT dpi = GetDpiForWindow(window) != 0 ? GetDpiForWindow(window) : 96;
        const int d = static_cast<int>(dpi);
        POINT centre{tessaly::layout::pixels(left + c.place.width / 2, d),
                     tessaly::layout::pixels(top + c.place.height / 2, d)};
        const std::string wanted = c.kind == tessaly::layout::Kind::TextField     ? "Edit"
                                   : c.kind == tessaly::layout::Kind::Label       ? "Static"
                                   : c.kind == tessaly::layout::Kind::ProgressBar ? "msctls_progress32"
                                                                                  : "Button";
        struct Search {
            HWND parent;
            POINT centre;
            std::string wanted;
            HWND found = nullptr;
        } search{window, centre, wanted};
        EnumChildWindows(
            window,
            [](HWND child, LPARAM data) -> BOOL {
                auto* s = reinterpret_cast<Search*>(data);
                RECT r{};
                GetWindowRect(child, &r);
                MapWindowPoints(nullptr, s->parent, reinterpret_cast<POINT*>(&r), 2);
                const LONG style = GetWindowLongW(child, GWL_STYLE);
                if (_wcsicmp(widen(className(child)).c_str(), widen(s->wanted).c_str()) != 0) return TRUE;
                if ((style & BS_TYPEMASK) == BS_GROUPBOX && s->wanted == "Button") return TRUE;
                if (PtInRect(&r, s->centre)) {
                    s->found = child;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        if (search.found == nullptr) check(false, std::string("control ") + name + " found");
        return search.found;
    }

    void type(const char* field, const std::string& text) const {
        const std::wstring wide = widen(text);
        SendMessageW(control(field), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
    }
    std::string text(const char* field) const { return textOf(control(field)); }
    // Posted: the press runs a command that shows boxes, and must not block
    // the driver.
    void press(const char* button) const { PostMessageW(control(button), BM_CLICK, 0, 0); }
    void answerNextDialog(const std::string& answer) const {
        COPYDATASTRUCT data{tessaly::win32::kNextDialogAnswer, static_cast<DWORD>(answer.size()),
                            const_cast<char*>(answer.data())};
        SendMessageW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
    }

    // The open message box of this process, if one is open.
    HWND messageBox() const {
        struct Search {
            DWORD pid;
            HWND found = nullptr;
        } search{process.dwProcessId};
        EnumWindows(
            [](HWND hwnd, LPARAM data) -> BOOL {
                auto* s = reinterpret_cast<Search*>(data);
                DWORD pid = 0;
                GetWindowThreadProcessId(hwnd, &pid);
                if (pid == s->pid && IsWindowVisible(hwnd) && className(hwnd) == "#32770") {
                    s->found = hwnd;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    // Waits for the next box and closes it: "title|icon|text", icon as its
    // style value (48 warning, 64 information, 0 none); "<no box>" if none
    // comes within `timeout`. `whileOpen` runs before the box is closed.
    std::string takeBox(std::chrono::milliseconds timeout = 60s, const std::function<void()>& whileOpen = {}) const {
        HWND box = nullptr;
        if (!waitFor([&] { return (box = messageBox()) != nullptr; }, timeout)) return "<no box>";
        std::this_thread::sleep_for(50ms); // let it finish drawing its controls
        std::string text;
        int icon = 0;
        for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
            if (className(child) != "Static") continue;
            const LONG style = GetWindowLongW(child, GWL_STYLE);
            if ((style & SS_TYPEMASK) == SS_ICON) {
                const auto shown = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
                if (IsWindowVisible(child) && shown != nullptr) icon = iconShownIn(child);
            } else if (GetDlgCtrlID(child) == 0xFFFF) {
                text = textOf(child);
            }
        }
        const std::string title = textOf(box);
        if (whileOpen) whileOpen();
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        waitFor([&] { return !IsWindow(box); }, 10s);
        return title + "|" + std::to_string(icon) + "|" + text;
    }

    // Waits until a run has ended: the bar back at 0 and the pointer... the
    // window answering again.
    void settle() const {
        DWORD_PTR result = 0;
        SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &result);
    }

    std::pair<int, int> progress() const {
        const HWND bar = control("ProgressBar1");
        return {static_cast<int>(SendMessageW(bar, PBM_GETRANGE, FALSE, 0)),
                static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0))};
    }

    HWND focused() const {
        GUITHREADINFO gui{};
        gui.cbSize = sizeof gui;
        GetGUIThreadInfo(process.dwThreadId, &gui);
        return gui.hwndFocus;
    }
    // A Tab key pressed on the focused control; the window's loop moves the
    // focus on as a dialog does.
    void tab() const {
        const HWND at = focused();
        PostMessageW(at, WM_KEYDOWN, VK_TAB, 0x000F0001);
        PostMessageW(at, WM_KEYUP, VK_TAB, static_cast<LPARAM>(0xC00F0001u));
        waitFor([&] { return focused() != at; }, 5s);
    }

    bool exited(std::chrono::milliseconds timeout) const {
        return WaitForSingleObject(process.hProcess, static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0;
    }
};

void writeFile(const std::string& path, const std::string& bytes) {
    HANDLE h = CreateFileW(widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
}

// The names in `folder` that match `pattern`.
std::vector<std::string> filesIn(const std::string& folder, const std::string& pattern = "*") {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found{};
    HANDLE h = FindFirstFileW(widen(folder + pattern).c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = narrow(found.cFileName);
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileW(h, &found));
    FindClose(h);
    return names;
}

// Writes the window's picture as a 24-bit BMP file.
void screenshot(HWND window, const std::wstring& path) {
    RECT r{};
    GetWindowRect(window, &r);
    const int width = r.right - r.left, height = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER header{sizeof header, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    const int stride = (width * 3 + 3) & ~3;
    std::vector<char> pixels(static_cast<std::size_t>(stride) * height);
    GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(), reinterpret_cast<BITMAPINFO*>(&header),
              DIB_RGB_COLORS);
    BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof header + pixels.size()), 0, 0,
                          sizeof(BITMAPFILEHEADER) + sizeof header};
    std::ofstream out(std::filesystem::path(path), std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&header), sizeof header);
    out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: tessaly-window-driver TESSALY_EXE WORK_FOLDER [SCREENSHOT.bmp]\n");
        return 2;
    }
    const std::wstring exe = argv[1];
    const std::string work = narrow(argv[2]);
    const std::string pieces = work + "Stücke 出力\\", rebuilt = work + "zurück\\";
    CreateDirectoryW(widen(pieces).c_str(), nullptr);
    CreateDirectoryW(widen(rebuilt).c_str(), nullptr);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Orvane");

    {
        App app(exe);
        if (app.window == nullptr) return 1;
        // First start: the defaults, the output folder already stored.
        expectEqual(app.text("Text2") + " " + app.text("Text3"), "C:\\ 100000", "first start shows the defaults");
        expectEqual(registryValue("Output Folder") + " " + registryValue("Chunk Size"), "C:\\ <absent>",
                    "first start stores only the output folder");

        // The keyboard order, from the unseen Command1.
        GUITHREADINFO gui{};
        gui.cbSize = sizeof gui;
        GetGUIThreadInfo(app.process.dwThreadId, &gui);
        check(gui.hwndFocus == app.control("Command1"), "the first focus is on Command1");
        std::string order;
        HWND at = app.control("Command1");
        for (int i = 0; i < 10; ++i) {
            for (const char* name : tessaly::layout::kTabOrder) {
                if (app.control(name) == at) order += std::string(name) + " ";
            }
            at = GetNextDlgTabItem(app.window, at, FALSE);
        }
        expectEqual(order, "Command1 Check4 Check2 Text2 Text1 Check1 Text3 Check5 Text4 Check3 ", "keyboard order");
        if (argc > 3) screenshot(app.window, argv[3]);

        // Every refusal, in the order of the tests.
        struct Refusal {
            const char* button;
            const char* field;
            std::string path, chunk, box;
        };
        writeFile(work + "small.bin", "01234");
        const std::string warning = "|48|";
        const Refusal refusals[] = {
            {"Check4", "Text1", work + "gone.splt", "3", "Cannot Split File" + warning + "Cannot split splitted file."},
            {"Check4", "Text1", work + "a_splt1", "3", "Cannot Split File" + warning + "Cannot split splitted file."},
            {"Check4", "Text1", work + "gone.bin", "x", "ERROR: File not exist" + warning + work + "gone.bin not exist!"},
            {"Check4", "Text1", work + "small.bin", "0", "ERROR: Cannot split a file" + warning +
                                   "The chunk size must be a whole number of bytes from 1 to 9223372036854775807."},
            {"Check4", "Text1", work + "small.bin", "5",
             "ERROR: Cannot split a file" + warning + "Filesize is less than or equal to chunk size."},
            {"Check3", "Text4", "", "", "Message|64|You must select file to join."},
            {"Check3", "Text4", work + "gone.splt", "", "ERROR: File not exist" + warning + work + "gone.splt not exist!"},
        };
        app.type("Text2", pieces);
        for (const Refusal& r : refusals) {
            app.type(r.field, r.path);
            app.type("Text3", r.chunk);
            app.press(r.button);
            expectEqual(app.takeBox(), r.box, std::string("refusal of ") + r.button + " for \"" + r.path + "\"");
        }
        app.type("Text1", "");
        app.press("Check4");
        expectEqual(app.takeBox(1500ms), "<no box>", "an empty source field says nothing");

        // Split and join of 20 MB under non-ASCII names; the bar is full
        // while the outcome box is open, empty afterwards.
        app.type("Text1", work + kSource);
        app.type("Text3", "1000000");
        std::pair<int, int> whileOpen;
        app.press("Check4");
        expectEqual(app.takeBox(120s, [&] { whileOpen = app.progress(); }), "Message|64|File successfully split",
                    "split of 20 MB");
        app.settle();
        expectEqual(std::to_string(whileOpen.first) + "/" + std::to_string(whileOpen.second) + " then " +
                        std::to_string(app.progress().second),
                    "20/20 then 0", "progress bar during and after the split");
        expectEqual(std::to_string(filesIn(pieces, "*_splt*").size()), "20", "pieces written");
        app.type("Text4", pieces + kSource + ".splt");
        app.type("Text2", rebuilt);
        app.press("Check3");
        expectEqual(app.takeBox(120s), "Message|64|Files successfully joined", "join of 20 MB");
        app.settle();

        // The pickers: the folder chooser's answer tidied and stored; a
        // cancel leaves each field as it was.
        struct Pick {
            const char* button;
            const char* field;
            std::string answer, text;
        };
        const Pick picks[] = {
            {"Check2", "Text2", "C:\\Data", "C:\\Data\\"},
            {"Check2", "Text2", "C:\\", "C:\\"},
            {"Check2", "Text2", "\\\\server\\share", "\\\\server\\share\\"},
            {"Check2", "Text2", "", "\\\\server\\share\\"},
            {"Check1", "Text1", "", "old"},
            {"Check5", "Text4", "", "old"},
            {"Check1", "Text1", "C:\\picked.bin", "C:\\picked.bin"},
        };
        app.type("Text1", "old");
        app.type("Text4", "old");
        for (const Pick& p : picks) {
            app.answerNextDialog(p.answer);
            app.press(p.button);
            app.settle();
            expectEqual(app.text(p.field), p.text, std::string(p.button) + " answered \"" + p.answer + "\"");
        }
        expectEqual(registryValue("Output Folder"), "\\\\server\\share\\", "the chosen folder is stored");
        app.type("Text2", pieces);
    }
    // Second start: what was stored is shown again.
    {
        HKEY key = nullptr;
        RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_SET_VALUE, &key);
        const std::wstring chunk = L"abc";
        RegSetValueExW(key, L"Chunk Size", 0, REG_SZ, reinterpret_cast<const BYTE*>(chunk.c_str()),
                       static_cast<DWORD>((chunk.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
        App app(exe);
        expectEqual(app.text("Text2") + " " + app.text("Text3"), pieces + " abc", "second start restores the settings");

        // Tab from the first focus to Text3, then on: leaving it with text
        // that is no number is told, the focus comes back, the text is stored.
        for (int i = 0; i < 6; ++i) app.tab();
        check(app.focused() == app.control("Text3"), "six Tabs reach Text3");
        app.type("Text3", "12kb");
        app.tab();
        expectEqual(app.takeBox(10s), "Tessaly|0|Must be numeric entry.", "leaving Text3 with no number");
        check(waitFor([&] { return app.focused() == app.control("Text3"); }, 5s), "the focus returns to Text3");
        expectEqual(registryValue("Chunk Size"), "12kb", "the chunk size is stored as typed");

        // Closing in the middle of a split: no pieces and no index stay.
        const std::string slow = work + "slow\\";
        CreateDirectoryW(widen(slow).c_str(), nullptr);
        app.type("Text1", work + kSource);
        app.type("Text2", slow);
        app.type("Text3", "2000");
        app.press("Check4");
        check(waitFor([&] { return !filesIn(slow, "*_splt1").empty(); }), "the split has begun");
        PostMessageW(app.window, WM_CLOSE, 0, 0);
        check(app.exited(60s), "closing mid-run ends the program");
        expectEqual(std::to_string(filesIn(slow).size()), "0", "closing mid-run leaves no pieces and no index");
    }
    std::printf("%d failed\n", failures);
    return failures == 0 ? 0 : 1;
}
