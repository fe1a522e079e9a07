#include "dialogs/tsinputdialog.h"

#include <QFontMetrics>
#include <QInputDialog>
#include <QLineEdit>
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
    if (!state.on) {
        QInputDialog dialog(parent);
        dialog.setWindowTitle(title);
        dialog.setLabelText(label);
        dialog.setTextValue(text);
        // Sized for its field only, the dialog would cut its own title ("Test-EMa...") in the
        // title bar, which also holds the window manager's buttons.
        // (Its layout decides the dialog's width: the field is made wide enough.)
        if (auto *field = dialog.findChild<QLineEdit *>())
            field->setMinimumWidth(QFontMetrics(dialog.font()).horizontalAdvance(title) +
                                   TitleBarButtonsWidth);
        const bool accepted = dialog.exec() == QDialog::Accepted;
        if (ok)
            *ok = accepted;
        return accepted ? dialog.textValue() : QString();
    }
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
