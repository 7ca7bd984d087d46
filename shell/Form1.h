// The main window: the split and join inputs, the toggle buttons, the
// progress bar, the pointer feedback and the two stored settings. It is also
// the engine's host: the engine reads the output folder from Text2, drives
// ProgressBar1, shows its messages here and lets the window's events run.
#pragma once

#include <QCursor>
#include <QPoint>
#include <QSize>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>

#include "SplitMergeFile.h"

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

class Form1 : public QWidget, public SplitMergeFile::SplitMergeHost {
    Q_OBJECT
public:
    // Pointer modes for the whole window.
    static constexpr int kDefaultPointer = 0;
    static constexpr int kBusyPointer = 11;
    static constexpr int kHoverPointer = 99;

    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    // Start-up steps, run once before the window is shown: centre, hover
    // pointer image, home-page visit, caption, progress-bar colours, restore
    // of the output folder and of the chunk size.
    void Form_Load();
    // As Form_Load, with the hover pointer image looked for in `folder`
    // instead of the executable's folder.
    void Form_Load(const QString& cursorFolder);

    int mousePointer() const { return mousePointer_; }
    void setMousePointer(int mode);
    // The hover pointer image, when one was loaded from the cursor file.
    bool hasCustomPointer() const { return customPointer_.has_value(); }

    // Toggle-button handlers: run on every state change of their button.
    void Check1_Click();
    void Check2_Click();
    void Check3_Click();
    void Check4_Click();
    void Check5_Click();

    // Mouse-movement handlers.
    void Check1_MouseMove();
    void Check2_MouseMove();
    void Check3_MouseMove();
    void Check4_MouseMove();
    void Form_MouseMove();

    // Settings handlers.
    void Text2_Change();
    void Text3_LostFocus();

    // SplitMergeHost.
    std::string outputFolder() override;
    void setProgressValue(std::int64_t value) override;
    void setProgressMaximum(std::int64_t maximum) override;
    std::int64_t progressMaximum() override;
    void showMessage(const std::string& text, const std::string& title,
                     SplitMergeFile::MessageIcon icon) override;
    void processEvents() override;
    bool stopRequested() override;

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
    void pickSourceFile();
    void pickOutputFolder();
    void pickIndexFile();
    // Runs a split or join command's steps as the one run under way: busy
    // pointer while they run, then the default pointer and an empty
    // progress bar whatever happened. Does nothing while another run is on.
    void runCommand(const std::function<void()>& steps);

    int mousePointer_ = kDefaultPointer;
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
