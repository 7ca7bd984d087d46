#include "FileDialog.h"

#include <QFileDialog>

namespace tessaly {

namespace {
QList<QString>& answers() {
    static QList<QString> queue;
    return queue;
}
QList<FileDialog::Asked>& recorded() {
    static QList<FileDialog::Asked> asked;
    return asked;
}
} // namespace

QString FileDialog::getOpenFileName(QWidget* parent, const QString& title, const QString& filter) {
    if (!answers().isEmpty()) {
        recorded().append({title, filter, false});
        return answers().takeFirst();
    }
    return QFileDialog::getOpenFileName(parent, title, QString(), filter);
}

QString FileDialog::getExistingDirectory(QWidget* parent, const QString& title) {
    if (!answers().isEmpty()) {
        recorded().append({title, QString(), true});
        return answers().takeFirst();
    }
    return QFileDialog::getExistingDirectory(parent, title);
}

void FileDialog::answerNext(const QList<QString>& next) { answers() = next; }

int FileDialog::pendingAnswers() { return static_cast<int>(answers().size()); }

QList<FileDialog::Asked> FileDialog::takeRecorded() {
    QList<Asked> asked;
    asked.swap(recorded());
    return asked;
}

} // namespace tessaly
