#include "views/tssetpointeditor.h"

#include <QKeyEvent>
#include <QLineEdit>

TsSetpointEditor::TsSetpointEditor(QWidget *parent)
    : QDoubleSpinBox(parent)
{
    // An edit that does not end in a valid number falls back to the value the editor opened with.
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
}

QValidator::State TsSetpointEditor::validate(QString &text, int &pos) const
{
    const QValidator::State state = QDoubleSpinBox::validate(text, pos);
    if (state != QValidator::Invalid)
        return state;
    bool ok = false;
    locale().toDouble(text.trimmed(), &ok);
    return ok ? QValidator::Intermediate : QValidator::Invalid;
}

void TsSetpointEditor::noteTypedText()
{
    bool ok = false;
    const double typed = locale().toDouble(lineEdit()->text().trimmed(), &ok);
    m_outOfRange = ok && (typed < minimum() || typed > maximum());
    m_typed = ok ? typed : 0.0;
}

void TsSetpointEditor::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        m_outOfRange = false;
        emit cancelled();
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        noteTypedText();
    QDoubleSpinBox::keyPressEvent(event);
}

void TsSetpointEditor::focusOutEvent(QFocusEvent *event)
{
    noteTypedText();
    QDoubleSpinBox::focusOutEvent(event);
}
