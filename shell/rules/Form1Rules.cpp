// The commands behind the toggle buttons run after their button's guard has
// let a press through.
//
// Split and join test their input in a fixed order and stop at the first
// failure with exactly one message; otherwise they hand the work to the
// engine and then tell how the run ended. Every run that starts ends with the
// default pointer and an empty progress bar. While a run is under way the
// engine lets window events run; a button pressed then springs back and does
// nothing, so there is never more than one run, nor a dialog over one.
#include "Form1Rules.h"

#include <algorithm>
#include <climits>
#include <optional>

#include "FileSize.h"
#include "FolderChoice.h"
#include "Paths.h"

namespace tessaly {

FileType fileType(FileFilter filter) {
    if (filter == FileFilter::SplitFiles) return {"Split Files (*.splt)", "*.splt"};
#ifdef _WIN32
    return {"All Files (*.*)", "*.*"};
#else
    return {"All Files (*)", "*"};
#endif
}

int drawnNumber(double r) { return std::clamp(static_cast<int>(r * 100) + 1, 1, 100); }

ProgressSteps progressSteps(std::int64_t maximum, std::int64_t value) {
    maximum = std::max<std::int64_t>(maximum, 0);
    value = std::clamp<std::int64_t>(value, 0, maximum);
    if (maximum == 0) return {1, 0};
    if (maximum <= INT_MAX) return {static_cast<int>(maximum), static_cast<int>(value)};
    return {INT_MAX, static_cast<int>(static_cast<long double>(value) * INT_MAX / maximum)};
}

void Form1Rules::Form_Load() {
    view_.centreOnScreen();
    // A missing or unreadable cursor file leaves the toolkit's own hover
    // pointer; nothing is said.
    view_.loadHoverPointer();
    // A courtesy, not part of the work: a failed launch is ignored.
    if (view_.drawOneToHundred() == kHomePageDraw) view_.openHomePage(kHomePageAddress);
    view_.setCaption(kProgramTitle);
    view_.whitenProgressBar();
    // The field is empty until now, so this is a change: Text2_Change stores
    // the value straight back.
    view_.setText(Field::Text2, settings_.read(kOutputFolderKey, settings_.defaultOutputFolder()));
    view_.setText(Field::Text3, settings_.read(kChunkSizeKey, kDefaultChunkSize));
}

bool Form1Rules::takePress(Button button) {
    if (!view_.isPressed(button)) return false;
    view_.release(button);
    return true;
}

void Form1Rules::Check1_Click() {
    if (takePress(Button::Check1)) pickFile(Field::Text1, FileFilter::AllFiles);
}

void Form1Rules::Check2_Click() {
    if (takePress(Button::Check2)) pickOutputFolder();
}

void Form1Rules::Check3_Click() {
    if (takePress(Button::Check3)) joinCommand();
}

void Form1Rules::Check4_Click() {
    if (takePress(Button::Check4)) splitCommand();
}

void Form1Rules::Check5_Click() {
    if (takePress(Button::Check5)) pickFile(Field::Text4, FileFilter::SplitFiles);
}

void Form1Rules::setMousePointer(PointerMode mode) {
    if (mode == mousePointer_) return;
    mousePointer_ = mode;
    view_.showPointer(mode);
}

void Form1Rules::Check_MouseMove() {
    if (mousePointer_ != PointerMode::Busy) setMousePointer(PointerMode::Hover);
}

void Form1Rules::Form_MouseMove() {
    if (mousePointer_ != PointerMode::Busy) setMousePointer(PointerMode::Default);
}

void Form1Rules::Text2_Change() { writeSettingOrWarn(kOutputFolderKey, view_.text(Field::Text2)); }

void Form1Rules::Text3_LostFocus() {
    // A leave that was still pending when the window closed: nothing is
    // checked or stored at shutdown.
    if (stopRequested_) return;
    if (!isNumericText(view_.text(Field::Text3), view_.numberFormat())) {
        show(notNumericMessage());
        view_.focus(Field::Text3);
    }
    // Stored as typed, number or not.
    writeSettingOrWarn(kChunkSizeKey, view_.text(Field::Text3));
}

void Form1Rules::writeSettingOrWarn(const char* key, const std::string& value) {
    if (settings_.write(key, value)) return;
    // Once per run: a box on every keystroke would make the field unusable.
    if (warnedAboutSettings_) return;
    warnedAboutSettings_ = true;
    show(settingsNotSavedMessage(settings_.location()));
}

void Form1Rules::show(const WindowMessage& message) { view_.showMessage(message); }

template <typename Steps>
void Form1Rules::runCommand(Steps steps) {
    if (running_) return;
    running_ = true;
    setMousePointer(PointerMode::Busy);
    steps();
    setMousePointer(PointerMode::Default);
    setProgressValue(0);
    running_ = false;
}

SplitMergeFile::Host& Form1Rules::host() {
    SplitMergeFile::Host* own = view_.engineHost();
    return own != nullptr ? *own : *this;
}

void Form1Rules::splitCommand() {
    runCommand([this] {
        const std::string source = view_.text(Field::Text1);
        if (source.empty()) return;
        if (SplitMergeFile::isPartOfPieceSet(source)) return show(splittedFileMessage());
        if (!isPresentFile(source)) return show(notExistMessage(source));
        // Read now, before the size is asked for; a size the engine cannot
        // use is refused before any file is touched.
        const std::optional<std::int64_t> chunkSize =
            chunkSizeFromText(view_.text(Field::Text3), view_.numberFormat());
        if (!chunkSize) return show(badChunkSizeMessage());
        if (!SplitMergeFile::isLargerThanOnePiece(FileSize::FileSize2(source), *chunkSize)) {
            return show(tooSmallMessage());
        }
        showOutcome(Command::Split, SplitMergeFile::SplitFile(host(), source, *chunkSize, view_.text(Field::Text2)));
    });
}

void Form1Rules::joinCommand() {
    runCommand([this] {
        const std::string index = view_.text(Field::Text4);
        if (index.empty()) return show(nothingToJoinMessage());
        // Any ordinary file is handed on, whatever its name or extension.
        if (!isPresentFile(index)) return show(notExistMessage(index));
        // What was joined before a missing piece stays for the user to see.
        showOutcome(Command::Join, SplitMergeFile::JoinFiles(host(), index, view_.text(Field::Text2),
                                                             SplitMergeFile::AfterMissingPiece::KeepJoined));
    });
}

void Form1Rules::pickFile(Field field, FileFilter filter) {
    if (running_) return;
    const std::string chosen = view_.chooseFile(kSelectFileTitle, filter);
    // A cancelled dialog leaves the field as it was.
    if (!chosen.empty()) view_.setText(field, chosen);
}

void Form1Rules::pickOutputFolder() {
    if (running_) return;
    const std::optional<std::string> folder =
        tidyFolderChoice(view_.chooseFolder(kSelectFolderTitle), kPathSeparator);
    // The field's change handler stores the new text as the output folder.
    if (folder) view_.setText(Field::Text2, *folder);
}

void Form1Rules::showOutcome(Command command, const SplitMergeFile::Result& result) {
    // Once the window is closed nobody is there to read a box.
    if (stopRequested_) return;
    if (const std::optional<WindowMessage> box = messageFor(command, result)) show(*box);
}

void Form1Rules::setProgressValue(std::int64_t value) {
    progressValue_ = value;
    view_.showProgress(progressSteps(progressMaximum_, progressValue_));
}

void Form1Rules::setProgressMaximum(std::int64_t maximum) {
    progressMaximum_ = std::max<std::int64_t>(maximum, 0);
    view_.showProgress(progressSteps(progressMaximum_, progressValue_));
}

void Form1Rules::progress(const SplitMergeFile::Progress& progress) {
    // A new range starts from an empty bar, so the value never lies above
    // the maximum.
    if (progress.pieceCount != progressMaximum_) {
        setProgressValue(0);
        setProgressMaximum(progress.pieceCount);
    }
    if (progress.pieces != progressValue_) setProgressValue(progress.pieces);
}

} // namespace tessaly
