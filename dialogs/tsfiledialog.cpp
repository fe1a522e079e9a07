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

} // namespace

QString TsFileDialog::existingDirectory(QWidget *parent, const QString &caption, const QString &dir)
{
    Answering &state = answering();
    if (!state.on)
        return QFileDialog::getExistingDirectory(parent, caption, dir);
    state.asked.append(caption);
    return state.directories.isEmpty() ? QString() : state.directories.dequeue();
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
