#include "MessageBox.h"

#include <QMessageBox>

namespace tessaly {

namespace {
int answersLeft = 0;
QList<MessageBox::Shown>& recorded() {
    static QList<MessageBox::Shown> boxes;
    return boxes;
}
} // namespace

void MessageBox::show(QWidget* parent, const QString& text, const QString& title, Icon icon) {
    if (answersLeft > 0) {
        --answersLeft;
        recorded().append({text, title, icon});
        return;
    }
    QMessageBox::Icon boxIcon = QMessageBox::NoIcon;
    if (icon == Icon::Information) boxIcon = QMessageBox::Information;
    if (icon == Icon::Warning) boxIcon = QMessageBox::Warning;
    // Plain text: a path may contain '<' or '&'.
    QMessageBox box(boxIcon, title, text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.setObjectName(QStringLiteral("tessalyMessageBox"));
    box.exec();
}

void MessageBox::answerNext(int count) { answersLeft = count; }

int MessageBox::pendingAnswers() { return answersLeft; }

QList<MessageBox::Shown> MessageBox::takeRecorded() {
    QList<Shown> boxes;
    boxes.swap(recorded());
    return boxes;
}

} // namespace tessaly
