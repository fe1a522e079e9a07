// The one-line text questions of the program. Like the message boxes, tests answer them in advance:
// with answering on, nothing is shown; each question is recorded and takes the next queued answer,
// or is cancelled when none is queued, so a test never hangs on a forgotten question.
#pragma once

#include <QList>
#include <QString>

class QWidget;

class TsInputDialog
{
public:
    // ok (may be null) tells whether the question was answered rather than cancelled; a cancelled
    // question gives an empty text.
    static QString getText(QWidget *parent, const QString &title, const QString &label,
                           const QString &text = QString(), bool *ok = nullptr);
    // Room the dialog keeps beside its title for the window manager's buttons and margins.
    static constexpr int TitleBarButtonsWidth = 140;

    // For tests.
    struct Asked
    {
        QString title;
        QString label;
    };
    static void setAnswering(bool on);
    static void queueAnswer(const QString &text);
    static void queueCancel();
    // The questions asked since the last call, oldest first; forgets them and any unused answers.
    static QList<Asked> takeAsked();
};
