#include "dialogs/tsfiledialog.h"

#include <QFileDialog>
#include <QQueue>
#include <QStringList>

namespace {

struct Answering
{
    bool on = false;
    QQueue<QString> directories;
    QStringList asked;
};

Answering &answering()
{
    static Answering state;
    return state;
}

// With answering on, records the chooser and takes the next queued answer (none: cancelled).
bool answered(const QString &caption, QString *answer)
{
    Answering &state = answering();
    if (!state.on)
        return false;
    state.asked.append(caption);
    *answer = state.directories.isEmpty() ? QString() : state.directories.dequeue();
    return true;
}

} // namespace

QString TsFileDialog::existingDirectory(QWidget *parent, const QString &caption, const QString &dir)
{
    QString answer;
    if (answered(caption, &answer))
        return answer;
    return QFileDialog::getExistingDirectory(parent, caption, dir);
}

QString TsFileDialog::openFile(QWidget *parent, const QString &caption, const QString &dir,
                               const QString &filter)
{
    QString answer;
    if (answered(caption, &answer))
        return answer;
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
}

QString TsFileDialog::saveFile(QWidget *parent, const QString &caption, const QString &path,
                               const QString &filter)
{
    QString answer;
    if (answered(caption, &answer))
        return answer;
    return QFileDialog::getSaveFileName(parent, caption, path, filter);
}

void TsFileDialog::setAnswering(bool on)
{
    answering().on = on;
    answering().directories.clear();
    answering().asked.clear();
}

void TsFileDialog::queueDirectory(const QString &dir)
{
    answering().directories.enqueue(dir);
}

QStringList TsFileDialog::takeAsked()
{
    const QStringList asked = answering().asked;
    answering().asked.clear();
    return asked;
}
