#include "dialogs/tsmessagebox.h"

#include <QFileDialog>
#include <QList>

namespace {

struct Seam
{
    bool answering = false;
    QList<QMessageBox::StandardButton> answers;
    QStringList directories;
    QStringList shown;
};

Seam &seam()
{
    static Seam instance;
    return instance;
}

} // namespace

QMessageBox::StandardButton TsMessageBox::question(QWidget *parent, const QString &title,
                                                   const QString &text,
                                                   QMessageBox::StandardButtons buttons,
                                                   QMessageBox::StandardButton defaultButton)
{
    if (!seam().answering)
        return QMessageBox::question(parent, title, text, buttons, defaultButton);
    seam().shown.append(title + QLatin1String(": ") + text);
    if (!seam().answers.isEmpty())
        return seam().answers.takeFirst();
    return buttons.testFlag(QMessageBox::Cancel) ? QMessageBox::Cancel : QMessageBox::No;
}

void TsMessageBox::critical(QWidget *parent, const QString &title, const QString &text)
{
    if (seam().answering)
        seam().shown.append(title + QLatin1String(": ") + text);
    else
        QMessageBox::critical(parent, title, text);
}

void TsMessageBox::warning(QWidget *parent, const QString &title, const QString &text)
{
    if (seam().answering)
        seam().shown.append(title + QLatin1String(": ") + text);
    else
        QMessageBox::warning(parent, title, text);
}

QString TsMessageBox::existingDirectory(QWidget *parent, const QString &caption, const QString &dir)
{
    if (!seam().answering)
        return QFileDialog::getExistingDirectory(parent, caption, dir);
    return seam().directories.isEmpty() ? QString() : seam().directories.takeFirst();
}

void TsMessageBox::setAnswering(bool on)
{
    seam().answering = on;
    seam().answers.clear();
    seam().directories.clear();
    seam().shown.clear();
}

void TsMessageBox::queueAnswer(QMessageBox::StandardButton answer)
{
    seam().answers.append(answer);
}

void TsMessageBox::queueDirectory(const QString &dir)
{
    seam().directories.append(dir);
}

QStringList TsMessageBox::takeShown()
{
    const QStringList shown = seam().shown;
    seam().shown.clear();
    return shown;
}
