#include "dialogs/tsinputdialog.h"

#include <QInputDialog>
#include <QQueue>

#include <optional>
#include <utility>

namespace {

struct Answering
{
    bool on = false;
    // An empty optional is a Cancel.
    QQueue<std::optional<QString>> answers;
    QList<TsInputDialog::Asked> asked;
};

Answering &answering()
{
    static Answering state;
    return state;
}

} // namespace

QString TsInputDialog::getText(QWidget *parent, const QString &title, const QString &label,
                               const QString &text, bool *ok)
{
    Answering &state = answering();
    if (!state.on)
        return QInputDialog::getText(parent, title, label, QLineEdit::Normal, text, ok);
    state.asked.append({title, label});
    const std::optional<QString> answer =
        state.answers.isEmpty() ? std::nullopt : state.answers.dequeue();
    if (ok)
        *ok = answer.has_value();
    return answer.value_or(QString());
}

void TsInputDialog::setAnswering(bool on)
{
    answering().on = on;
}

void TsInputDialog::queueAnswer(const QString &text)
{
    answering().answers.enqueue(text);
}

void TsInputDialog::queueCancel()
{
    answering().answers.enqueue(std::nullopt);
}

QList<TsInputDialog::Asked> TsInputDialog::takeAsked()
{
    Answering &state = answering();
    state.answers.clear();
    return std::exchange(state.asked, {});
}
