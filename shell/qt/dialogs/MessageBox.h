// Modal message boxes with one OK button. Every box of the program goes
// through here, so tests can answer boxes without showing them.
#pragma once

#include <QList>
#include <QString>

class QWidget;

// windows.h defines MessageBox as a macro.
#ifdef MessageBox
#undef MessageBox
#endif

namespace tessaly {

class MessageBox {
public:
    enum class Icon { None, Information, Warning };

    struct Shown {
        QString text;
        QString title;
        Icon icon;
    };

    // Shows `text` under exactly `title` with `icon` and one OK button, and
    // returns when the user has closed it.
    static void show(QWidget* parent, const QString& text, const QString& title, Icon icon);

    // Test hook: the next `count` boxes are not shown; each is recorded and
    // counts as closed at once.
    static void answerNext(int count);
    static int pendingAnswers();
    // The boxes recorded instead of shown since the last call.
    static QList<Shown> takeRecorded();
};

} // namespace tessaly
