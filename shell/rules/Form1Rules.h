// Everything the main window decides that is not drawing, for any toolkit:
// the button guard and the one-run-at-a-time rule, the split and join
// commands, the pickers, the pointer modes, the two settings handlers, the
// progress bar's steps, the start-up steps and the stop on closing.
//
// A toolkit supplies a View (read and set the controls, show a box or a
// dialog, let its events run) and a SettingsStore, and calls the handlers
// below from its controls' events. All text is UTF-8.
#pragma once

#include <cstdint>
#include <string>

#include "ChunkSizeText.h"
#include "SettingsStore.h"
#include "SplitMergeFile.h"
#include "WindowMessages.h"

namespace tessaly {

// The pointer over the whole window; the values are those the window has
// always stored for them.
enum class PointerMode { Default = 0, Busy = 11, Hover = 99 };

enum class Field { Text1, Text2, Text3, Text4 };
enum class Button { Check1, Check2, Check3, Check4, Check5 };
// The open-file dialog's one file type.
enum class FileFilter { AllFiles, SplitFiles };

// The description and the pattern of a file type, in the system's notation:
// "*.*" matches every name on Windows; elsewhere it would hide names without
// a dot, and "*" is the pattern.
struct FileType {
    std::string description;
    std::string pattern;
};
FileType fileType(FileFilter filter);

inline constexpr const char* kSelectFileTitle = "Select File";
inline constexpr const char* kSelectFolderTitle = "Please select folder to add:";
inline constexpr const char* kHoverCursorFileName = "HAND-M.CUR";
inline constexpr const char* kHomePageAddress = "https://www.orvane.example/";

// The home page opens when the number drawn from 1 to 100 is this one.
inline constexpr int kHomePageDraw = 7;
// The number from 1 to 100 that a draw `r` from [0, 1) stands for.
int drawnNumber(double r);

// A progress range and value as a bar that counts in int shows them: larger
// ranges are scaled down, and an empty range shows as 0 of 1 (a range of
// 0..0 draws as "busy" in some toolkits).
struct ProgressSteps {
    int maximum = 100;
    int value = 0;
};
ProgressSteps progressSteps(std::int64_t maximum, std::int64_t value);

class View {
public:
    virtual ~View() = default;
    virtual std::string text(Field field) = 0;
    // Setting Text2's text raises its change notification, which the toolkit
    // hands to Form1Rules::Text2_Change.
    virtual void setText(Field field, const std::string& text) = 0;
    virtual void focus(Field field) = 0;
    // A toggle button's state: pressed (1) or released (0).
    virtual bool isPressed(Button button) = 0;
    virtual void release(Button button) = 0;
    virtual void showPointer(PointerMode mode) = 0;
    virtual void showProgress(const ProgressSteps& steps) = 0;
    // A modal box with one OK button; returns once it is closed.
    virtual void showMessage(const WindowMessage& message) = 0;
    // The chosen file's full path, or "" for a cancel.
    virtual std::string chooseFile(const std::string& title, FileFilter filter) = 0;
    // The chosen folder's path in the system's notation, or "" for no choice.
    virtual std::string chooseFolder(const std::string& title) = 0;
    virtual void letEventsRun() = 0;
    // The user's separators for reading the chunk size.
    virtual NumberFormat numberFormat() = 0;

    // Start-up steps.
    virtual void centreOnScreen() = 0;
    virtual void loadHoverPointer() = 0;
    virtual int drawOneToHundred() = 0;
    virtual void openHomePage(const std::string& address) = 0;
    virtual void setCaption(const std::string& caption) = 0;
    virtual void whitenProgressBar() = 0;

    // The host the engine reports to; nothing means Form1Rules itself. A
    // toolkit window that is a host of its own forwards to Form1Rules.
    virtual SplitMergeFile::Host* engineHost() { return nullptr; }
};

class Form1Rules : public SplitMergeFile::Host {
public:
    Form1Rules(View& view, SettingsStore& settings) : view_(view), settings_(settings) {}

    // The start-up steps, in order: centre, hover pointer image, home-page
    // visit, caption, white progress bar, restore of the output folder (a
    // change of Text2, which stores it straight back) and of the chunk size.
    void Form_Load();

    // Click notifications of the five toggle buttons.
    void Check1_Click();
    void Check2_Click();
    void Check3_Click();
    void Check4_Click();
    void Check5_Click();

    // Mouse movements over Check1 to Check4 (all four alike), and over the
    // window's bare background. No other movement changes the mode.
    void Check_MouseMove();
    void Form_MouseMove();

    // Every change of Text2's text; Text3 losing the focus to another control
    // of the window.
    void Text2_Change();
    void Text3_LostFocus();

    // The window is closing: a run under way stops at its next event pass,
    // and nothing more is shown or stored.
    void requestStop() { stopRequested_ = true; }
    bool stopRequested() const { return stopRequested_; }
    bool running() const { return running_; }

    PointerMode mousePointer() const { return mousePointer_; }
    void setMousePointer(PointerMode mode);

    void setProgressMaximum(std::int64_t maximum);
    void setProgressValue(std::int64_t value);

    // SplitMergeFile::Host.
    void progress(const SplitMergeFile::Progress& progress) override;
    void processEvents() override { view_.letEventsRun(); }
    bool keepGoing() override { return !stopRequested_; }

private:
    // The button guard: true when the button reads pressed, after setting it
    // back to released (whose own notification then finds it released).
    bool takePress(Button button);
    void splitCommand();
    void joinCommand();
    void pickFile(Field field, FileFilter filter);
    void pickOutputFolder();
    // Runs a split or join command's steps as the one run under way: busy
    // pointer while they run, then the default pointer and an empty
    // progress bar whatever happened. Does nothing while another run is on.
    template <typename Steps>
    void runCommand(Steps steps);
    void show(const WindowMessage& message);
    // Tells the user how a run ended, unless the window is closing.
    void showOutcome(Command command, const SplitMergeFile::Result& result);
    void writeSettingOrWarn(const char* key, const std::string& value);
    SplitMergeFile::Host& host();

    View& view_;
    SettingsStore& settings_;
    PointerMode mousePointer_ = PointerMode::Default;
    std::int64_t progressMaximum_ = 100;
    std::int64_t progressValue_ = 0;
    bool stopRequested_ = false;
    // A split or join is under way. The engine lets window events run, so a
    // button can be pressed during a run; such a press does nothing.
    bool running_ = false;
    bool warnedAboutSettings_ = false;
};

} // namespace tessaly
