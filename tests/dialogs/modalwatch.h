// Answers the modal windows that code under test opens and waits in: it looks at the top-level
// windows from a timer, so it acts from inside the modal window's own event loop.
#pragma once

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <functional>

class ModalWatch
{
public:
    // The handler returns true when it dealt with that window; each window is offered until then.
    using Handler = std::function<bool(QWidget *)>;

    explicit ModalWatch(Handler handler)
        : m_handler(std::move(handler))
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start(5);
    }

    int handled() const { return m_handled; }

private:
    void poll()
    {
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (!window->isVisible() || window->property(SeenProperty).toBool())
                continue;
            if (m_handler(window)) {
                window->setProperty(SeenProperty, true);
                ++m_handled;
            }
        }
    }

    static constexpr char SeenProperty[] = "_tessaro_test_seen";
    Handler m_handler;
    QTimer m_timer;
    int m_handled = 0;
};

// What a message box said.
struct SeenMessage
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QPointer<QMessageBox> box; // gone once the code under test deleted it
};

// Types the text into the next input dialog and confirms it; a null text cancels it.
inline ModalWatch::Handler answerInput(const QString &text, QString *label = nullptr)
{
    return [text, label](QWidget *window) {
        auto *input = qobject_cast<QInputDialog *>(window);
        if (!input)
            return false;
        if (label)
            *label = input->windowTitle() + QLatin1Char('|') + input->labelText();
        if (text.isNull()) {
            input->reject();
        } else {
            input->setTextValue(text);
            input->accept();
        }
        return true;
    };
}

// Records message boxes that have buttons and presses their OK; boxes without buttons (progress
// notes) are recorded in shown only.
inline ModalWatch::Handler answerMessages(QList<SeenMessage> *answered,
                                          QList<SeenMessage> *shown = nullptr)
{
    return [answered, shown](QWidget *window) {
        auto *box = qobject_cast<QMessageBox *>(window);
        if (!box)
            return false;
        const SeenMessage seen{box->windowTitle(), box->text(), box->icon(), box};
        if (box->buttons().isEmpty()) {
            if (shown)
                shown->append(seen);
            return true;
        }
        answered->append(seen);
        QAbstractButton *ok = box->button(QMessageBox::Ok);
        if (ok)
            ok->click();
        else
            box->accept();
        return true;
    };
}
