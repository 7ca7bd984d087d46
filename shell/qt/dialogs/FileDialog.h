// The open-file dialog and the folder chooser. Every file dialog of the
// program goes through here, so tests can answer dialogs without showing them.
#pragma once

#include <QList>
#include <QString>

class QWidget;

namespace tessaly {

class FileDialog {
public:
    // The chosen file's full path, or "" when the user cancelled. `filter`
    // is in Qt's form, e.g. "Split Files (*.splt)".
    static QString getOpenFileName(QWidget* parent, const QString& title, const QString& filter);
    // The chosen folder's path (no trailing separator added), or "".
    static QString getExistingDirectory(QWidget* parent, const QString& title);

    // Test hook: the next dialogs are not shown; each one takes the next
    // answer in turn ("" stands for a cancel) and is recorded.
    struct Asked {
        QString title;
        QString filter; // "" for the folder chooser
        bool folder;
    };
    static void answerNext(const QList<QString>& answers);
    static int pendingAnswers();
    static QList<Asked> takeRecorded();
};

} // namespace tessaly
