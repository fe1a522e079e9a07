#include "views/tssetpointeditor.h"

#include <QKeyEvent>
#include <QLineEdit>

#include <cmath>

TsSetpointEditor::TsSetpointEditor(QWidget *parent)
    : QDoubleSpinBox(parent)
{
    // An edit that does not end in a valid number falls back to the value the editor opened with.
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    // The field is as small as the setpoint box: arrows would leave no room for the digits, and the
    // arrow keys and the wheel still step.
    setButtonSymbols(QAbstractSpinBox::NoButtons);
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Typing and stepping are the operator's; valueChanged is not a sign of that, since Return
    // announces the value even when it did not change.
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] { m_touched = true; });
}

void TsSetpointEditor::stepBy(int steps)
{
    m_touched = true;
    QDoubleSpinBox::stepBy(steps);
}

void TsSetpointEditor::begin(double setpoint)
{
    m_refusal.clear();
    m_typedText.clear();
    if (std::isnan(setpoint)) {
        setValue(minimum());
        lineEdit()->clear();
    } else {
        setValue(setpoint);
    }
    m_touched = false;
}

void TsSetpointEditor::restoreText(const QString &text)
{
    lineEdit()->setText(text);
    lineEdit()->selectAll();
}

bool TsSetpointEditor::hasForeignMark(const QString &text) const
{
    const QChar decimal = locale().decimalPoint();
    const QChar group = locale().groupSeparator();
    for (const QChar c : text) {
        if (c != decimal && (c == QLatin1Char('.') || c == QLatin1Char(',') || c == group))
            return true;
    }
    return false;
}

double TsSetpointEditor::strictNumber(const QString &text, bool *ok) const
{
    if (hasForeignMark(text)) {
        *ok = false;
        return 0.0;
    }
    QLocale strict = locale();
    strict.setNumberOptions(strict.numberOptions() | QLocale::RejectGroupSeparator);
    return strict.toDouble(text.trimmed(), ok);
}

QValidator::State TsSetpointEditor::validate(QString &text, int &pos) const
{
    // Kept visible as typed so that the refusal can point at it: dropped keystroke by keystroke,
    // "3,6" would become "36" and be sent.
    if (hasForeignMark(text))
        return QValidator::Intermediate;
    const QValidator::State state = QDoubleSpinBox::validate(text, pos);
    if (state != QValidator::Invalid)
        return state;
    bool ok = false;
    strictNumber(text, &ok);
    return ok ? QValidator::Intermediate : QValidator::Invalid;
}

QString TsSetpointEditor::ambiguityMessage(const QString &text) const
{
    const QString decimal = locale().decimalPoint();
    // The two numbers the text can stand for: the foreign mark read as the decimal mark, or as a
    // separator of thousands.
    QString asDecimal;
    QString asGrouping;
    for (const QChar c : text.trimmed()) {
        const bool foreign = hasForeignMark(QString(c));
        asDecimal += foreign ? decimal : QString(c);
        if (!foreign)
            asGrouping += c;
    }
    bool decimalOk = false;
    bool groupingOk = false;
    const double one = strictNumber(asDecimal, &decimalOk);
    const double other = strictNumber(asGrouping, &groupingOk);
    if (decimalOk && groupingOk && one != other) {
        return tr("\"%1\" could mean %2 or %3: this computer writes the decimal mark as \"%4\". "
                  "Nothing was sent.")
            .arg(text, locale().toString(one, 'g', 10), locale().toString(other, 'g', 10), decimal);
    }
    return tr("\"%1\" is not a number here: this computer writes the decimal mark as \"%2\". "
              "Nothing was sent.")
        .arg(text, decimal);
}

void TsSetpointEditor::noteTypedText()
{
    const QString text = lineEdit()->text().trimmed();
    m_typedText = text;
    m_refusal.clear();
    if (hasForeignMark(text)) {
        m_refusal = ambiguityMessage(text);
        return;
    }
    bool ok = false;
    const double typed = strictNumber(text, &ok);
    if (ok && (typed < minimum() || typed > maximum())) {
        m_refusal = tr("%1 is outside this channel's setpoint range of %2 to %3; nothing was sent.")
                        .arg(locale().toString(typed, 'f', 1), locale().toString(minimum(), 'f', 1),
                             locale().toString(maximum(), 'f', 1));
    }
}

void TsSetpointEditor::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        m_refusal.clear();
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
