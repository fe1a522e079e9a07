// The modal questions, messages and folder choosers of the dialogs. Tests answer them in advance
// instead of letting a modal box wait for a click: every call then takes the next queued answer
// and is recorded with its title and text.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>

class QWidget;

class TsMessageBox
{
public:
    static QMessageBox::StandardButton
    question(QWidget *parent, const QString &title, const QString &text,
             QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No,
             QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
    static void critical(QWidget *parent, const QString &title, const QString &text);
    static void warning(QWidget *parent, const QString &title, const QString &text);
    // An empty text when cancelled.
    static QString existingDirectory(QWidget *parent, const QString &caption, const QString &dir);

    // Tests: from now on nothing is shown. A question takes the next queued answer (Cancel, or No
    // where Cancel is not offered, when none is queued); a folder chooser the next queued folder
    // (cancelled when none is queued).
    static void setAnswering(bool on);
    static void queueAnswer(QMessageBox::StandardButton answer);
    static void queueDirectory(const QString &dir);
    // "title: text" of every question and message since the last take, oldest first.
    static QStringList takeShown();
};
