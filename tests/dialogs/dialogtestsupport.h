// Helpers of the dialog tests: find a form's widgets by name and drive them as an operator would.
#pragma once

#include "device/devicetestsupport.h" // readable QString failures
#include "dialogs/tsfiledialog.h"
#include "dialogs/tsmessagebox.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>

#include <gtest/gtest.h>

// "title: text" of each message box asked since the last call, oldest first.
inline QStringList shown()
{
    QStringList texts;
    const QList<TsMessageBox::Asked> asked = TsMessageBox::takeAsked();
    for (const TsMessageBox::Asked &box : asked)
        texts.append(box.title + QStringLiteral(": ") + box.text);
    return texts;
}

// Answers every message box and folder chooser of a test case; none is shown.
class AnsweringDialogs
{
public:
    AnsweringDialogs()
    {
        TsMessageBox::setAnswering(true);
        TsMessageBox::takeAsked();
        TsFileDialog::setAnswering(true);
    }
    ~AnsweringDialogs()
    {
        TsMessageBox::takeAsked();
        TsMessageBox::setAnswering(false);
        TsFileDialog::setAnswering(false);
    }
};

template <typename T>
T *child(QWidget &parent, const char *name)
{
    T *widget = parent.findChild<T *>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

// Replaces the text of a line edit and ends the editing with Return.
inline void retype(QLineEdit *edit, const QString &text)
{
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
}

// Replaces a spin box's text as an operator would and leaves it with Tab.
inline void retype(QAbstractSpinBox *spinBox, const QString &text)
{
    spinBox->setFocus();
    QTest::keyClick(spinBox, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(spinBox, text);
    QTest::keyClick(spinBox, Qt::Key_Tab);
}

// Chooses an entry of a closed combo box with the keyboard, which activates it.
inline void chooseIndex(QComboBox *comboBox, int index)
{
    comboBox->setFocus();
    QTest::keyClick(comboBox, Qt::Key_Home);
    for (int i = 0; i < index; ++i)
        QTest::keyClick(comboBox, Qt::Key_Down);
}

// Clicks the row of an item view whose display text is text; false when there is none.
inline bool clickRow(QAbstractItemView *view, const QString &text, int column = 0)
{
    QAbstractItemModel *model = view->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex index = model->index(row, column);
        if (index.data().toString() == text) {
            view->scrollTo(index);
            QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier,
                              view->visualRect(index).center());
            return true;
        }
    }
    return false;
}

// A double click as a mouse makes it: press and release, then the double click and its release.
// (QTest::mouseDClick leaves out the first release, which item views take as a drag.)
inline void doubleClick(QWidget *widget, const QPoint &pos)
{
    QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, pos);
    QMouseEvent event(QEvent::MouseButtonDblClick, pos, widget->mapToGlobal(pos), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
    QTest::mouseRelease(widget, Qt::LeftButton, Qt::NoModifier, pos);
}

// Runs handle on the modal dialog of type T that opens next, as soon as it is shown.
template <typename T>
void whenModal(std::function<void(T *)> handle)
{
    auto *timer = new QTimer(qApp);
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, [timer, handle] {
        if (auto *dialog = qobject_cast<T *>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            handle(dialog);
        }
    });
    timer->start();
}
