#include "dialogs/tsmessagebox.h"

#include <QQueue>

namespace {

struct Answering
{
    bool on = false;
    QQueue<QMessageBox::StandardButton> answers;
    QList<TsMessageBox::Asked> asked;
};

Answering &answering()
{
    static Answering state;
    return state;
}

// What a box answers when its default is not given: the first of its buttons that a user would
// take as the safe way out, as the real box treats Escape.
QMessageBox::StandardButton fallbackAnswer(QMessageBox::StandardButtons buttons,
                                           QMessageBox::StandardButton defaultButton)
{
    if (defaultButton != QMessageBox::NoButton)
        return defaultButton;
    for (QMessageBox::StandardButton b : {QMessageBox::Cancel, QMessageBox::No, QMessageBox::Ok,
                                          QMessageBox::Close, QMessageBox::Yes}) {
        if (buttons.testFlag(b))
            return b;
    }
    return QMessageBox::NoButton;
}

} // namespace

QMessageBox::StandardButton TsMessageBox::question(QWidget *parent, const QString &title,
                                                   const QString &text,
                                                   QMessageBox::StandardButtons buttons,
                                                   QMessageBox::StandardButton defaultButton)
{
    return ask(QMessageBox::Question, parent, title, text, buttons, defaultButton);
}

QMessageBox::StandardButton TsMessageBox::information(QWidget *parent, const QString &title,
                                                      const QString &text,
                                                      QMessageBox::StandardButtons buttons,
                                                      QMessageBox::StandardButton defaultButton)
{
    return ask(QMessageBox::Information, parent, title, text, buttons, defaultButton);
}

QMessageBox::StandardButton TsMessageBox::warning(QWidget *parent, const QString &title,
                                                  const QString &text,
                                                  QMessageBox::StandardButtons buttons,
                                                  QMessageBox::StandardButton defaultButton)
{
    return ask(QMessageBox::Warning, parent, title, text, buttons, defaultButton);
}

QMessageBox::StandardButton TsMessageBox::critical(QWidget *parent, const QString &title,
                                                   const QString &text,
                                                   QMessageBox::StandardButtons buttons,
                                                   QMessageBox::StandardButton defaultButton)
{
    return ask(QMessageBox::Critical, parent, title, text, buttons, defaultButton);
}

void TsMessageBox::setAnswering(bool on)
{
    answering().on = on;
}

bool TsMessageBox::isAnswering()
{
    return answering().on;
}

void TsMessageBox::queueAnswer(QMessageBox::StandardButton answer)
{
    answering().answers.enqueue(answer);
}

QList<TsMessageBox::Asked> TsMessageBox::takeAsked()
{
    Answering &state = answering();
    const QList<Asked> asked = state.asked;
    state.asked.clear();
    state.answers.clear();
    return asked;
}

QMessageBox::StandardButton TsMessageBox::ask(QMessageBox::Icon icon, QWidget *parent,
                                              const QString &title, const QString &text,
                                              QMessageBox::StandardButtons buttons,
                                              QMessageBox::StandardButton defaultButton)
{
    Answering &state = answering();
    if (state.on) {
        Asked asked;
        asked.icon = icon;
        asked.title = title;
        asked.text = text;
        asked.buttons = buttons;
        asked.defaultButton = defaultButton;
        asked.answer = state.answers.isEmpty() ? fallbackAnswer(buttons, defaultButton)
                                               : state.answers.dequeue();
        state.asked.append(asked);
        return asked.answer;
    }
    QMessageBox box(icon, title, text, buttons, parent);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    const int result = box.exec();
    return QMessageBox::StandardButton(result);
}
