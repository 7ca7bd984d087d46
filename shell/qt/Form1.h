// The main window in Qt: a view over the window rules (Form1Rules), which
// decide everything but the drawing. It hands the engine's progress and
// event passes to the rules and stops a run when it is being closed.
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
#include <QString>
#include <QWidget>
#include <cstdint>
#include <optional>

#include "Form1Rules.h"
#include "Settings.h"
#include "SplitMergeFile.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace tessaly {

class PathEdit;

class Form1 : public QWidget, public SplitMergeFile::Host, private View {
    Q_OBJECT
public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    // Start-up steps, run once before the window is shown (Form1Rules).
    void Form_Load();
    // As Form_Load, with the hover pointer image looked for in `folder`
    // instead of the executable's folder.
    void Form_Load(const QString& cursorFolder);

    PointerMode mousePointer() const { return rules_.mousePointer(); }
    void setMousePointer(PointerMode mode) { rules_.setMousePointer(mode); }
    // The hover pointer image, when one was loaded from the cursor file.
    bool hasCustomPointer() const { return customPointer_.has_value(); }

    // Toggle-button handlers: run on every state change of their button.
    void Check1_Click() { rules_.Check1_Click(); }
    void Check2_Click() { rules_.Check2_Click(); }
    void Check3_Click() { rules_.Check3_Click(); }
    void Check4_Click() { rules_.Check4_Click(); }
    void Check5_Click() { rules_.Check5_Click(); }

    // Mouse-movement handlers: over Check1 to Check4 (all four alike), and
    // over the window's bare background.
    void Check_MouseMove() { rules_.Check_MouseMove(); }
    void Form_MouseMove() { rules_.Form_MouseMove(); }

    // Settings handlers.
    void Text2_Change() { rules_.Text2_Change(); }
    void Text3_LostFocus() { rules_.Text3_LostFocus(); }

    // The progress bar: a run's maximum and value (in pieces).
    void setProgressMaximum(std::int64_t maximum) { rules_.setProgressMaximum(maximum); }
    void setProgressValue(std::int64_t value) { rules_.setProgressValue(value); }

    // SplitMergeFile::Host, handed on to the rules.
    void progress(const SplitMergeFile::Progress& progress) override { rules_.progress(progress); }
    void processEvents() override;
    bool keepGoing() override { return rules_.keepGoing(); }

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
    QLineEdit* field(Field field) const;
    QPushButton* button(Button button) const;

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
    void letEventsRun() override { processEvents(); }
    NumberFormat numberFormat() override;
    void centreOnScreen() override;
    void loadHoverPointer() override;
    int drawOneToHundred() override;
    void openHomePage(const std::string& address) override;
    void setCaption(const std::string& caption) override;
    void whitenProgressBar() override;
    SplitMergeFile::Host* engineHost() override { return this; }

    QtSettingsStore settings_;
    Form1Rules rules_{*this, settings_};
    QString cursorFolder_;
    std::optional<QCursor> customPointer_;
};

} // namespace tessaly
