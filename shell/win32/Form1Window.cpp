#include "Form1Window.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <vector>

#include "Dialogs.h"
#include "Layout.h"
#include "Utf16.h"

namespace tessaly::win32 {

namespace {

constexpr int kFirstControlId = 100;
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr COLORREF kWhite = RGB(255, 255, 255);
// Posted when Text3 has lost the focus to another control of the window.
constexpr UINT kText3LostFocus = WM_APP + 1;

std::size_t indexOf(const char* name) {
    const layout::Control& c = layout::control(name);
    return static_cast<std::size_t>(&c - layout::kControls.data());
}

bool isTabStop(const char* name) {
    for (const char* stop : layout::kTabOrder) {
        if (std::string_view(stop) == name) return true;
    }
    return false;
}

// A control's place in pixels of the window's client area at `dpi`; controls
// of a group box are placed relative to its client area, which starts at
// its own top left.
RECT placeOf(const layout::Control& c, UINT dpi) {
    int left = c.place.left, top = c.place.top;
    if (c.in != layout::In::Form1) {
        const layout::Control& frame = layout::control(c.in == layout::In::Frame1 ? "Frame1" : "Frame2");
        left += frame.place.left;
        top += frame.place.top;
    }
    const int d = static_cast<int>(dpi);
    return RECT{layout::pixels(left, d), layout::pixels(top, d), layout::pixels(c.place.width, d),
                layout::pixels(c.place.height, d)};
}

const wchar_t* classOf(layout::Kind kind) {
    switch (kind) {
    case layout::Kind::Label: return L"STATIC";
    case layout::Kind::TextField: return L"EDIT";
    case layout::Kind::ProgressBar: return PROGRESS_CLASSW;
    case layout::Kind::GroupBox:
    case layout::Kind::ToggleButton:
    case layout::Kind::PushButton: break;
    }
    return L"BUTTON";
}

DWORD styleOf(const layout::Control& c) {
    DWORD style = WS_CHILD | WS_VISIBLE | (isTabStop(c.name) ? WS_TABSTOP : 0);
    switch (c.kind) {
    case layout::Kind::GroupBox: return style | BS_GROUPBOX;
    // SS_NOTIFY: the label takes the mouse itself instead of passing it to
    // the window, whose own surface is only the bare background.
    case layout::Kind::Label: return style | SS_LEFT | SS_NOTIFY | SS_NOPREFIX;
    case layout::Kind::TextField: return style | WS_BORDER | ES_LEFT | ES_AUTOHSCROLL;
    case layout::Kind::ToggleButton: return style | BS_AUTOCHECKBOX | BS_PUSHLIKE;
    case layout::Kind::PushButton: return style | BS_PUSHBUTTON;
    case layout::Kind::ProgressBar: break;
    }
    return style;
}

HFONT arialBold(double points, UINT dpi) {
    const int height = -static_cast<int>(points * dpi / 72.0 + 0.5);
    return CreateFontW(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Arial");
}

UINT dpiOf(HWND hwnd) {
    const UINT dpi = hwnd != nullptr ? GetDpiForWindow(hwnd) : GetDpiForSystem();
    return dpi != 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

// The folder of the running executable, with its trailing backslash.
std::wstring executableFolder() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD got = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (got == 0) return L"";
        if (got < path.size()) {
            std::wstring full(path.data(), got);
            return full.substr(0, full.find_last_of(L"\\/") + 1);
        }
        path.resize(path.size() * 2);
    }
}

std::wstring windowText(HWND hwnd) {
    const int length = GetWindowTextLengthW(hwnd);
    if (length <= 0) return L"";
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(hwnd, text.data(), length + 1);
    text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return text;
}

int captionWidth(HWND hwnd, HFONT font) {
    const std::wstring text = windowText(hwnd);
    HDC dc = GetDC(hwnd);
    const HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(hwnd, dc);
    return size.cx;
}

} // namespace

Form1Window::Form1Window() { white_ = CreateSolidBrush(kWhite); }

Form1Window::~Form1Window() {
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
    if (font_ != nullptr) DeleteObject(font_);
    if (buttonFont_ != nullptr) DeleteObject(buttonFont_);
    if (white_ != nullptr) DeleteObject(white_);
    if (blankIcon_ != nullptr) DestroyIcon(blankIcon_);
    if (ownHoverCursor_) DestroyCursor(hoverCursor_);
}

bool Form1Window::create(HINSTANCE instance, int show) {
    INITCOMMONCONTROLSEX common{sizeof common, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&common);

    // Transparent everywhere, so the title bar and the task bar show no picture.
    std::vector<BYTE> andMask(32 * 32 / 8, 0xFF), xorMask(32 * 32 / 8, 0x00);
    blankIcon_ = CreateIcon(instance, 32, 32, 1, 1, andMask.data(), xorMask.data());

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = blankIcon_;
    windowClass.hIconSm = blankIcon_;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = white_;
    windowClass.lpszClassName = kWindowClass;
    if (RegisterClassExW(&windowClass) == 0) return false;

    // The layout's caption, replaced by the start-up steps.
    hwnd_ = CreateWindowExW(0, kWindowClass, L"Form1", kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, nullptr,
                            nullptr, instance, this);
    if (hwnd_ == nullptr) return false;

    // Made in the keyboard order first, so that Tab visits them in that
    // order; the others after them, the group boxes last so that they lie
    // beneath the controls they hold.
    std::vector<std::size_t> order;
    for (const char* name : layout::kTabOrder) order.push_back(indexOf(name));
    for (std::size_t i = 0; i < layout::kControls.size(); ++i) {
        const layout::Control& c = layout::kControls[i];
        if (!isTabStop(c.name) && c.kind != layout::Kind::GroupBox) order.push_back(i);
    }
    for (std::size_t i = 0; i < layout::kControls.size(); ++i) {
        if (layout::kControls[i].kind == layout::Kind::GroupBox) order.push_back(i);
    }
    for (const std::size_t i : order) {
        const layout::Control& c = layout::kControls[i];
        controls_[i] = CreateWindowExW(0, classOf(c.kind), widen(c.caption).c_str(), styleOf(c), 0, 0, 0, 0, hwnd_,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstControlId + i)),
                                       instance, nullptr);
        if (controls_[i] == nullptr) return false;
        SetWindowSubclass(controls_[i], controlProc, i, reinterpret_cast<DWORD_PTR>(this));
    }
    // No length limit beyond the system's own.
    for (const char* name : {"Text1", "Text2", "Text3", "Text4"}) SendMessageW(control(name), EM_SETLIMITTEXT, 0, 0);
    SendMessageW(control("ProgressBar1"), PBM_SETRANGE32, 0, 100);
    SendMessageW(control("ProgressBar1"), PBM_SETPOS, 0, 0);
    placeControls(dpiOf(hwnd_));

    rules_.Form_Load();
    ShowWindow(hwnd_, show);
    UpdateWindow(hwnd_);
    SetFocus(control("Command1"));
    return true;
}

void Form1Window::placeControls(UINT dpi) {
    if (font_ != nullptr) DeleteObject(font_);
    if (buttonFont_ != nullptr) DeleteObject(buttonFont_);
    font_ = arialBold(9, dpi);
    buttonFont_ = arialBold(11.25, dpi);

    const int d = static_cast<int>(dpi);
    RECT outer{0, 0, layout::pixels(layout::kClientArea.width, d), layout::pixels(layout::kClientArea.height, d)};
    AdjustWindowRectExForDpi(&outer, kWindowStyle, FALSE, 0, dpi);
    SetWindowPos(hwnd_, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (std::size_t i = 0; i < layout::kControls.size(); ++i) {
        const layout::Control& c = layout::kControls[i];
        RECT r = placeOf(c, dpi);
        const HFONT f = c.kind == layout::Kind::ToggleButton ? buttonFont_ : font_;
        // A label is as wide as its caption. The layout's widths are those of
        // the caption in Arial; where the font renders a little wider, the
        // label grows rather than cut off the caption's end.
        if (c.kind == layout::Kind::Label) r.right = std::max<LONG>(r.right, captionWidth(controls_[i], f));
        SetWindowPos(controls_[i], nullptr, r.left, r.top, r.right, r.bottom, SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(controls_[i], WM_SETFONT, reinterpret_cast<WPARAM>(f), TRUE);
    }
}

HWND Form1Window::control(const char* name) const { return controls_[indexOf(name)]; }

HWND Form1Window::fieldWindow(Field field) const {
    static constexpr const char* names[] = {"Text1", "Text2", "Text3", "Text4"};
    return control(names[static_cast<int>(field)]);
}

HWND Form1Window::buttonWindow(Button button) const {
    static constexpr const char* names[] = {"Check1", "Check2", "Check3", "Check4", "Check5"};
    return control(names[static_cast<int>(button)]);
}

LRESULT CALLBACK Form1Window::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Form1Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->hwnd_ = hwnd;
    }
    auto* self = reinterpret_cast<Form1Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
    return self->handle(message, wParam, lParam);
}

LRESULT CALLBACK Form1Window::controlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                          DWORD_PTR data) {
    auto* self = reinterpret_cast<Form1Window*>(data);
    const layout::Control& c = layout::kControls[id];
    if (message == WM_MOUSEMOVE) {
        const std::string_view name = c.name;
        if (name == "Check1" || name == "Check2" || name == "Check3" || name == "Check4") {
            self->rules_.Check_MouseMove();
        }
    }
    // A group box passes the mouse through to the window by default; its own
    // area is not the window's bare background.
    if (message == WM_NCHITTEST && c.kind == layout::Kind::GroupBox) return HTCLIENT;
    if (message == WM_NCDESTROY) RemoveWindowSubclass(hwnd, controlProc, id);
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

LRESULT Form1Window::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        command(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_MOUSEMOVE:
        rules_.Form_MouseMove();
        return 0;
    case kText3LostFocus:
        rules_.Text3_LostFocus();
        return 0;
    case WM_SETCURSOR:
        // The mode governs the whole window, every control included; the
        // hover pointer only over client areas.
        if (rules_.mousePointer() == PointerMode::Busy ||
            (rules_.mousePointer() == PointerMode::Hover && LOWORD(lParam) == HTCLIENT)) {
            SetCursor(pointerFor(rules_.mousePointer()));
            return TRUE;
        }
        break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        // Labels, group boxes and the toggle buttons' faces are white.
        const HDC dc = reinterpret_cast<HDC>(wParam);
        SetBkColor(dc, kWhite);
        return reinterpret_cast<LRESULT>(white_);
    }
    case WM_COPYDATA: {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (data->dwData != kNextDialogAnswer) break;
        answerNextDialog(std::string(static_cast<const char*>(data->lpData), data->cbData));
        return TRUE;
    }
    case WM_DPICHANGED: {
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        placeControls(HIWORD(wParam));
        return 0;
    }
    case WM_CLOSE:
        // A run under way stops at its next event pass and removes what it
        // wrote; nothing more is shown or stored.
        rules_.requestStop();
        DestroyWindow(hwnd_);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY:
        hwnd_ = nullptr;
        controls_.fill(nullptr);
        break;
    default: break;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void Form1Window::command(int id, int code) {
    const std::size_t index = static_cast<std::size_t>(id - kFirstControlId);
    if (id < kFirstControlId || index >= layout::kControls.size()) return;
    const std::string_view name = layout::kControls[index].name;
    if (code == BN_CLICKED) {
        if (name == "Check1") rules_.Check1_Click();
        if (name == "Check2") rules_.Check2_Click();
        if (name == "Check3") rules_.Check3_Click();
        if (name == "Check4") rules_.Check4_Click();
        if (name == "Check5") rules_.Check5_Click();
    } else if (code == EN_CHANGE && name == "Text2") {
        rules_.Text2_Change();
    } else if (code == EN_KILLFOCUS && name == "Text3") {
        // Only a move to another control of this window is a leave; another
        // window or a box taking the focus is not.
        // Runs once the focus has arrived at the other control, not in the
        // middle of the focus change.
        const HWND to = GetFocus();
        if (to != nullptr && IsChild(hwnd_, to)) PostMessageW(hwnd_, kText3LostFocus, 0, 0);
    }
}

bool Form1Window::dispatch(MSG& message) {
    if (message.message == WM_QUIT) {
        quitting_ = true;
        exitCode_ = static_cast<int>(message.wParam);
        return false;
    }
    if (hwnd_ == nullptr || !IsDialogMessageW(hwnd_, &message)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return true;
}

int Form1Window::run() {
    MSG message;
    while (!quitting_ && GetMessageW(&message, nullptr, 0, 0) > 0) dispatch(message);
    return exitCode_;
}

std::string Form1Window::text(Field field) { return narrow(windowText(fieldWindow(field))); }

void Form1Window::setText(Field field, const std::string& text) {
    SetWindowTextW(fieldWindow(field), widen(text).c_str());
}

void Form1Window::focus(Field field) { SetFocus(fieldWindow(field)); }

bool Form1Window::isPressed(Button button) {
    return SendMessageW(buttonWindow(button), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Form1Window::release(Button button) { SendMessageW(buttonWindow(button), BM_SETCHECK, BST_UNCHECKED, 0); }

void Form1Window::showPointer(PointerMode mode) {
    // Shown at once where the mouse is, not only at its next movement.
    POINT at{};
    if (hwnd_ == nullptr || !GetCursorPos(&at)) return;
    const HWND under = WindowFromPoint(at);
    if (under == nullptr || (under != hwnd_ && !IsChild(hwnd_, under))) return;
    SetCursor(pointerFor(mode));
}

HCURSOR Form1Window::pointerFor(PointerMode mode) const {
    if (mode == PointerMode::Busy) return LoadCursorW(nullptr, IDC_WAIT);
    if (mode == PointerMode::Hover) return hoverCursor_ != nullptr ? hoverCursor_ : LoadCursorW(nullptr, IDC_HAND);
    return LoadCursorW(nullptr, IDC_ARROW);
}

void Form1Window::showProgress(const ProgressSteps& steps) {
    const HWND bar = control("ProgressBar1");
    if (bar == nullptr) return;
    SendMessageW(bar, PBM_SETRANGE32, 0, steps.maximum);
    SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(steps.value), 0);
}

void Form1Window::showMessage(const WindowMessage& message) { showMessageBox(hwnd_, message); }

std::string Form1Window::chooseFile(const std::string& title, FileFilter filter) {
    return chooseOpenFile(hwnd_, title, fileType(filter));
}

std::string Form1Window::chooseFolder(const std::string& title) { return BrowseForFolder(hwnd_, title); }

void Form1Window::letEventsRun() {
    MSG message;
    while (!quitting_ && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) dispatch(message);
}

NumberFormat Form1Window::numberFormat() {
    NumberFormat format;
    wchar_t buffer[16] = {};
    if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, buffer, 16) > 0) format.decimal = narrow(buffer);
    if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_STHOUSAND, buffer, 16) > 0) format.group = narrow(buffer);
    return format;
}

void Form1Window::centreOnScreen() {
    RECT outer{};
    GetWindowRect(hwnd_, &outer);
    const int width = outer.right - outer.left, height = outer.bottom - outer.top;
    SetWindowPos(hwnd_, nullptr, layout::centredStart(GetSystemMetrics(SM_CXSCREEN), width),
                 layout::centredStart(GetSystemMetrics(SM_CYSCREEN), height), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form1Window::loadHoverPointer() {
    // Any kind of file counts as there; one that is no cursor leaves the
    // system's pointing hand.
    const std::wstring path = executableFolder() + widen(kHoverCursorFileName);
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return;
    hoverCursor_ = LoadCursorFromFileW(path.c_str());
    ownHoverCursor_ = hoverCursor_ != nullptr;
}

int Form1Window::drawOneToHundred() {
    // Seeded from the time of day.
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    std::mt19937 generator(static_cast<std::mt19937::result_type>(now.count()));
    return drawnNumber(std::uniform_real_distribution<double>(0.0, 1.0)(generator));
}

void Form1Window::openHomePage(const std::string& address) {
    ShellExecuteW(nullptr, L"open", widen(address).c_str(), nullptr, nullptr, SW_SHOWMINIMIZED);
}

void Form1Window::setCaption(const std::string& caption) { SetWindowTextW(hwnd_, widen(caption).c_str()); }

void Form1Window::whitenProgressBar() { SendMessageW(control("ProgressBar1"), PBM_SETBKCOLOR, 0, kWhite); }

} // namespace tessaly::win32
