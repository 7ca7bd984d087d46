// The main window. It runs the engine as its host: it hands a run the
// output folder, shows its progress on ProgressBar1, lets its own events run
// while the run works, and stops the run when it is being closed.
//
// The controls keep their layout names:
//   Frame1   the "Split" group       Frame2   the "Join" group
//   Text1    file to split           Check1   "..." picks the file to split
//   Text2    output folder           Check2   "..." picks the output folder
//   Text3    chunk size in bytes     Check4   Split
//   Text4    index (.splt) file      Check5   "..." picks the index file
//   Check3   Join (Merge)            ProgressBar1  progress of a run
//   Label1, Label7, lblSize, Label2, Label3  the captions beside the fields
//   Command1 an unseen button that holds the first keyboard focus
#pragma once

#include <QCursor>
#include <QPoint>
#include <QSize>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>

#include "SplitMergeFile.h"
#include "WindowMessages.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace tessaly {

class PathEdit;

// Where a window of `window` size (frame included) goes so that it is
// centred on a screen of `screen` size. Larger windows get negative
// positions; an odd difference puts the window half a pixel up and left.
QPoint centredPosition(QSize screen, QSize window);

// The pointer over the whole window; the values are those the window has
// always stored for them.
enum class PointerMode { Default = 0, Busy = 11, Hover = 99 };

class Form1 : public QWidget, public SplitMergeFile::Host {
    Q_OBJECT
public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    // Start-up steps, run once before the window is shown: centre, hover
    // pointer image, home-page visit, caption, progress-bar colours, restore
    // of the output folder and of the chunk size.
    void Form_Load();
    // As Form_Load, with the hover pointer image looked for in `folder`
    // instead of the executable's folder.
    void Form_Load(const QString& cursorFolder);

    PointerMode mousePointer() const { return mousePointer_; }
    void setMousePointer(PointerMode mode);
    // The hover pointer image, when one was loaded from the cursor file.
    bool hasCustomPointer() const { return customPointer_.has_value(); }

    // Toggle-button handlers: run on every state change of their button.
    void Check1_Click();
    void Check2_Click();
    void Check3_Click();
    void Check4_Click();
    void Check5_Click();

    // Mouse-movement handlers: over Check1 to Check4 (all four alike), and
    // over the window's bare background.
    void Check_MouseMove();
    void Form_MouseMove();

    // Settings handlers.
    void Text2_Change();
    void Text3_LostFocus();

    // The progress bar: a run's maximum and value (in pieces).
    void setProgressMaximum(std::int64_t maximum);
    void setProgressValue(std::int64_t value);

    // SplitMergeFile::Host.
    void progress(const SplitMergeFile::Progress& progress) override;
    void processEvents() override;
    bool keepGoing() override;

    // The controls, named as the window's layout names them.
    QGroupBox* Frame1 = nullptr;
    QLabel* Label1 = nullptr;
    PathEdit* Text1 = nullptr;
    QPushButton* Check1 = nullptr;
    QLabel* Label7 = nullptr;
    PathEdit* Text2 = nullptr;
    QPushButton* Check2 = nullptr;
    QLabel* lblSize = nullptr;
    QLineEdit* Text3 = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* Check4 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QLabel* Label3 = nullptr;
    PathEdit* Text4 = nullptr;
    QPushButton* Check5 = nullptr;
    QPushButton* Check3 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QPushButton* Command1 = nullptr;

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void centreOnScreen();
    void applyPointer();
    void showProgress();
    // The button guard: true when the button reads pressed, after setting it
    // back to released (whose own notification then finds it released).
    static bool takePress(QPushButton* button);
    void writeSettingOrWarn(const char* key, const QString& value);

    // The commands behind the buttons (Form1Commands.cpp).
    void splitCommand();
    void joinCommand();
    void pickFile(QLineEdit* field, const QString& filter);
    void pickOutputFolder();
    // Runs a split or join command's steps as the one run under way: busy
    // pointer while they run, then the default pointer and an empty
    // progress bar whatever happened. Does nothing while another run is on.
    void runCommand(const std::function<void()>& steps);
    // Tells the user how a run ended, unless the window is closing.
    void showOutcome(Command command, const SplitMergeFile::Result& result);

    PointerMode mousePointer_ = PointerMode::Default;
    std::optional<QCursor> customPointer_;
    std::int64_t progressMaximum_ = 100;
    std::int64_t progressValue_ = 0;
    bool stopRequested_ = false;
    // A split or join is under way. The engine lets window events run, so a
    // button can be pressed during a run; such a press does nothing.
    bool running_ = false;
    bool warnedAboutSettings_ = false;
};

} // namespace tessaly
