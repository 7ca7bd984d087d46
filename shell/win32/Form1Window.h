// The main window in Win32: a view over the window rules (Form1Rules),
// which decide everything but the drawing. Controls are native: group
// boxes, static labels, edit fields, push-like check boxes as the toggle
// buttons, the common-controls progress bar.
#pragma once

#include <windows.h>

#include <array>
#include <string>

#include "Form1Rules.h"
#include "RegistrySettings.h"

namespace tessaly::win32 {

inline constexpr const wchar_t* kWindowClass = L"TessalyForm1";

class Form1Window : private View {
public:
    Form1Window();
    ~Form1Window() override;
    Form1Window(const Form1Window&) = delete;
    Form1Window& operator=(const Form1Window&) = delete;

    // Makes the window and its controls, runs the start-up steps, shows the
    // window; false when the window could not be made.
    [[nodiscard]] bool create(HINSTANCE instance, int show);
    // The event loop until the window is closed; the process's exit code.
    int run();

private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK controlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                        DWORD_PTR self);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void command(int id, int code);
    void placeControls(UINT dpi);
    bool dispatch(MSG& message);
    HWND control(const char* name) const;
    HWND fieldWindow(Field field) const;
    HWND buttonWindow(Button button) const;
    // The system pointer, or the hover file's, that `mode` shows.
    HCURSOR pointerFor(PointerMode mode) const;

    // View.
    std::string text(Field field) override;
    void setText(Field field, const std::string& text) override;
    void focus(Field field) override;
    bool isPressed(Button button) override;
    void release(Button button) override;
    void showPointer(PointerMode mode) override;
    void showProgress(const ProgressSteps& steps) override;
    void showMessage(const WindowMessage& message) override;
    std::string chooseFile(const std::string& title, FileFilter filter) override;
    std::string chooseFolder(const std::string& title) override;
    void letEventsRun() override;
    NumberFormat numberFormat() override;
    void centreOnScreen() override;
    void loadHoverPointer() override;
    int drawOneToHundred() override;
    void openHomePage(const std::string& address) override;
    void setCaption(const std::string& caption) override;
    void whitenProgressBar() override;

    RegistrySettings settings_;
    Form1Rules rules_{*this, settings_};
    HWND hwnd_ = nullptr;
    std::array<HWND, 18> controls_{};
    HFONT font_ = nullptr, buttonFont_ = nullptr;
    HBRUSH white_ = nullptr;
    HICON blankIcon_ = nullptr;
    HCURSOR hoverCursor_ = nullptr;
    bool ownHoverCursor_ = false;
    bool quitting_ = false;
    int exitCode_ = 0;
};

} // namespace tessaly::win32
