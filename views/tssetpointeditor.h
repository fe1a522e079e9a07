// The in-place setpoint editor of a channel tile. A number typed outside the channel's range stays
// visible as typed instead of being cut short keystroke by keystroke (typing 45 into a range up to
// 40 would otherwise leave 4 in the field, ready to be sent); the tile then refuses it. Numbers are
// read with the operator's decimal mark only: "3,6" where the mark is "." could be 3.6 or 36, and
// is refused rather than guessed.
#pragma once

#include <QDoubleSpinBox>

class TsSetpointEditor : public QDoubleSpinBox
{
    Q_OBJECT

public:
    explicit TsSetpointEditor(QWidget *parent = nullptr);

    // Starts an edit of the shown editor at the channel's setpoint; NaN (unreadable) starts with an
    // empty field rather than a number the channel does not have.
    void begin(double setpoint);
    // Whether the operator changed anything since begin(): an edit left untouched sends nothing,
    // so that a setpoint outside the range is never replaced by the nearest limit unasked.
    bool isTouched() const { return m_touched; }

    // Why the text at the end of the last edit cannot be sent, in the operator's words; empty when
    // it can. The text itself is kept for the operator to correct.
    QString refusal() const { return m_refusal; }
    QString typedText() const { return m_typedText; }
    // Puts text back into the field, as it was typed, for a correction or a second try.
    void restoreText(const QString &text);

    QValidator::State validate(QString &text, int &pos) const override;
    void stepBy(int steps) override;

signals:
    // Escape: leave without sending anything.
    void cancelled();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    // Read before the spin box puts its last good value back into the field.
    void noteTypedText();
    // A '.' or ',' (or the locale's group separator) that is not the locale's decimal mark.
    bool hasForeignMark(const QString &text) const;
    // The number the text stands for with the locale's decimal mark and nothing else.
    double strictNumber(const QString &text, bool *ok) const;
    QString ambiguityMessage(const QString &text) const;

    QString m_refusal;
    QString m_typedText;
    bool m_touched = false;
};
