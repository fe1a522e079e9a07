// The folder choosers of the dialogs. Like the message boxes, tests answer them in advance: with
// answering on, nothing is shown and each chooser takes the next queued folder, or is cancelled
// when none is queued.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

class TsFileDialog
{
public:
    // An empty text when cancelled.
    static QString existingDirectory(QWidget *parent, const QString &caption, const QString &dir);

    // For tests.
    static void setAnswering(bool on);
    static void queueDirectory(const QString &dir);
    // The captions of the choosers opened since the last call, oldest first.
    static QStringList takeAsked();
};
