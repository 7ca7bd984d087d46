// The commands behind the toggle buttons. Each runs after its button's guard
// has let a press through.
//
// Split and join test their input in a fixed order and stop at the first
// failure with exactly one message; otherwise they hand the work to the
// engine and then tell how the run ended. Every run that starts ends with the
// default pointer and an empty progress bar. While a run is under way the
// engine lets window events run; a button pressed then springs back and does
// nothing, so there is never more than one run, nor a dialog over one.
#include <QDir>
#include <QProgressBar>
#include <QPushButton>

#include "ChunkSize.h"
#include "FileDialog.h"
#include "FileSize.h"
#include "Form1.h"
#include "MessageBox.h"
#include "PathEdit.h"
#include "Paths.h"
#include "Settings.h"
#include "addFolder.h"

namespace tessaly {

namespace {

const QString kSplittedText = QStringLiteral("Cannot split splitted file.");
const QString kSplittedTitle = QStringLiteral("Cannot Split File");
const QString kNotExistSuffix = QStringLiteral(" not exist!");
const QString kNotExistTitle = QStringLiteral("ERROR: File not exist");
const QString kCannotSplitTitle = QString::fromLatin1(kSplitErrorTitle);
const QString kBadChunkSizeText =
    QStringLiteral("The chunk size must be a whole number of bytes from 1 to 9223372036854775807.");
const QString kTooSmallText = QStringLiteral("Filesize is less than or equal to chunk size.");
const QString kNothingToJoinText = QStringLiteral("You must select file to join.");
const QString kNothingToJoinTitle = QStringLiteral("Message");

const QString kSelectFileTitle = QStringLiteral("Select File");
const QString kSelectFolderTitle = QStringLiteral("Please select folder to add:");
// "Every file" in the system's own notation: on Windows "*.*" matches names
// without a dot too; elsewhere it would hide them, and "*" is the pattern.
#ifdef Q_OS_WIN
const QString kAllFilesFilter = QStringLiteral("All Files (*.*)");
#else
const QString kAllFilesFilter = QStringLiteral("All Files (*)");
#endif
const QString kSplitFilesFilter = QStringLiteral("Split Files (*.splt)");

MessageBox::Icon boxIcon(WindowMessage::Icon icon) {
    switch (icon) {
    case WindowMessage::Icon::Information: return MessageBox::Icon::Information;
    case WindowMessage::Icon::Warning: return MessageBox::Icon::Warning;
    case WindowMessage::Icon::None: break;
    }
    return MessageBox::Icon::None;
}

} // namespace

void Form1::Check1_Click() {
    if (takePress(Check1)) pickFile(Text1, kAllFilesFilter);
}

void Form1::Check2_Click() {
    if (takePress(Check2)) pickOutputFolder();
}

void Form1::Check3_Click() {
    if (takePress(Check3)) joinCommand();
}

void Form1::Check4_Click() {
    if (takePress(Check4)) splitCommand();
}

void Form1::Check5_Click() {
    if (takePress(Check5)) pickFile(Text4, kSplitFilesFilter);
}

void Form1::runCommand(const std::function<void()>& steps) {
    if (running_) return;
    running_ = true;
    setMousePointer(PointerMode::Busy);
    steps();
    setMousePointer(PointerMode::Default);
    setProgressValue(0);
    running_ = false;
}

void Form1::splitCommand() {
    runCommand([this] {
        const QString source = Text1->text();
        if (source.isEmpty()) return;
        const std::string sourcePath = toEngineText(source);
        if (SplitMergeFile::isPartOfPieceSet(sourcePath)) {
            MessageBox::show(this, kSplittedText, kSplittedTitle, MessageBox::Icon::Warning);
            return;
        }
        if (!isPresentFile(sourcePath)) {
            MessageBox::show(this, source + kNotExistSuffix, kNotExistTitle, MessageBox::Icon::Warning);
            return;
        }
        // Read now, before the size is asked for; a size the engine cannot
        // use is refused before any file is touched.
        const std::optional<std::int64_t> chunkSize = chunkSizeFromText(Text3->text());
        if (!chunkSize) {
            MessageBox::show(this, kBadChunkSizeText, kCannotSplitTitle, MessageBox::Icon::Warning);
            return;
        }
        if (!SplitMergeFile::isLargerThanOnePiece(FileSize::FileSize2(sourcePath), *chunkSize)) {
            MessageBox::show(this, kTooSmallText, kCannotSplitTitle, MessageBox::Icon::Warning);
            return;
        }
        showOutcome(Command::Split,
                    SplitMergeFile::SplitFile(*this, sourcePath, *chunkSize, toEngineText(Text2->text())));
    });
}

void Form1::joinCommand() {
    runCommand([this] {
        const QString index = Text4->text();
        if (index.isEmpty()) {
            MessageBox::show(this, kNothingToJoinText, kNothingToJoinTitle, MessageBox::Icon::Information);
            return;
        }
        // Any ordinary file is handed on, whatever its name or extension.
        const std::string indexPath = toEngineText(index);
        if (!isPresentFile(indexPath)) {
            MessageBox::show(this, index + kNotExistSuffix, kNotExistTitle, MessageBox::Icon::Warning);
            return;
        }
        // What was joined before a missing piece stays for the user to see.
        showOutcome(Command::Join, SplitMergeFile::JoinFiles(*this, indexPath, toEngineText(Text2->text()),
                                                             SplitMergeFile::AfterMissingPiece::KeepJoined));
    });
}

void Form1::pickFile(QLineEdit* field, const QString& filter) {
    if (running_) return;
    const QString chosen = FileDialog::getOpenFileName(this, kSelectFileTitle, filter);
    // A cancelled dialog leaves the field as it was.
    if (!chosen.isEmpty()) field->setText(QDir::toNativeSeparators(chosen));
}

void Form1::pickOutputFolder() {
    if (running_) return;
    const std::optional<QString> folder =
        outputFolderFromChoice(BrowseForFolder(this, kSelectFolderTitle), QLatin1Char(kPathSeparator));
    // The field's change handler stores the new text as the output folder.
    if (folder) Text2->setText(*folder);
}

void Form1::showOutcome(Command command, const SplitMergeFile::Result& result) {
    // Once the window is closed nobody is there to read a box.
    if (stopRequested_) return;
    if (const std::optional<WindowMessage> box = messageFor(command, result)) {
        MessageBox::show(this, fromEngineText(box->text), fromEngineText(box->title), boxIcon(box->icon));
    }
}

} // namespace tessaly
