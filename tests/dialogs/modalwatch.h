// Answers the windows that code under test opens and waits in (an input dialog, a note it shows
// while it works): it looks at the top-level windows from a timer, so it acts from inside the
// event loop the code under test runs.
#pragma once

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
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

// A message box shown without waiting for it (a progress note).
struct SeenNote
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

// Records the message boxes that are shown and left open (questions go through TsMessageBox).
inline ModalWatch::Handler recordNotes(QList<SeenNote> *notes)
{
    return [notes](QWidget *window) {
        auto *box = qobject_cast<QMessageBox *>(window);
        if (!box)
            return false;
        notes->append(SeenNote{box->windowTitle(), box->text(), box->icon(), box});
        return true;
    };
}
