// The folder and file choosers of the dialogs. Like the message boxes, tests answer them in
// advance: with answering on, nothing is shown and each chooser takes the next queued folder, or is
// cancelled when none is queued.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

class TsFileDialog
{
public:
    // An empty text when cancelled.
    static QString existingDirectory(QWidget *parent, const QString &caption, const QString &dir);
    // A file to read, or a file to write (asking before it replaces one); empty when cancelled.
    static QString openFile(QWidget *parent, const QString &caption, const QString &dir,
                            const QString &filter);
    static QString saveFile(QWidget *parent, const QString &caption, const QString &path,
                            const QString &filter);

    // For tests.
    static void setAnswering(bool on);
    static void queueDirectory(const QString &dir);
    // The answer of the next chooser of either kind; the same queue as the folders.
    static void queueFile(const QString &path) { queueDirectory(path); }
    // The captions of the choosers opened since the last call, oldest first.
    static QStringList takeAsked();
};
