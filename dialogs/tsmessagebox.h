// Every modal message box of the program goes through here, so that tests can answer them: with
// answering on, no box is shown; each one is recorded and gets the next queued answer, or its
// default button when none is queued, and a test never hangs on a forgotten question.
#pragma once

#include <QList>
#include <QMessageBox>
#include <QString>

class TsMessageBox
{
public:
    static QMessageBox::StandardButton
    question(QWidget *parent, const QString &title, const QString &text,
             QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No,
             QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
    static QMessageBox::StandardButton
    information(QWidget *parent, const QString &title, const QString &text,
                QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
    static QMessageBox::StandardButton
    warning(QWidget *parent, const QString &title, const QString &text,
            QMessageBox::StandardButtons buttons = QMessageBox::Ok,
            QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
    static QMessageBox::StandardButton
    critical(QWidget *parent, const QString &title, const QString &text,
             QMessageBox::StandardButtons buttons = QMessageBox::Ok,
             QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

    // For tests.
    struct Asked
    {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString title;
        QString text;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
        QMessageBox::StandardButton answer = QMessageBox::NoButton;
    };
    static void setAnswering(bool on);
    static bool isAnswering();
    static void queueAnswer(QMessageBox::StandardButton answer);
    // The boxes asked since the last call, oldest first; forgets them and any unused answers.
    static QList<Asked> takeAsked();

private:
    static QMessageBox::StandardButton ask(QMessageBox::Icon icon, QWidget *parent,
                                           const QString &title, const QString &text,
                                           QMessageBox::StandardButtons buttons,
                                           QMessageBox::StandardButton defaultButton);
};
