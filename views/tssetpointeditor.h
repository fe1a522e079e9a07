// The in-place setpoint editor of a channel tile. A number typed outside the channel's range stays
// visible as typed instead of being cut short keystroke by keystroke (typing 45 into a range up to
// 40 would otherwise leave 4 in the field, ready to be sent); the tile then refuses it.
#pragma once

#include <QDoubleSpinBox>

class TsSetpointEditor : public QDoubleSpinBox
{
    Q_OBJECT

public:
    explicit TsSetpointEditor(QWidget *parent = nullptr);

    // Whether the text at the end of the last edit was a number outside the range, and which.
    bool isOutOfRange() const { return m_outOfRange; }
    double typedValue() const { return m_typed; }

    QValidator::State validate(QString &text, int &pos) const override;

signals:
    // Escape: leave without sending anything.
    void cancelled();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    // Read before the spin box puts its last good value back into the field.
    void noteTypedText();

    bool m_outOfRange = false;
    double m_typed = 0.0;
};
