// Checks e-mail addresses as they are typed (user settings, mailer settings).
#pragma once

#include <QValidator>

namespace Utils {
namespace EMail {

class Validator : public QValidator
{
    Q_OBJECT

public:
    explicit Validator(QObject *parent = nullptr);

    // Trims and lowers the input first (the caller's text changes); Acceptable for a complete
    // address, Intermediate for one being typed, Invalid otherwise. The position is not used.
    State validate(QString &input, int &position) const override;
    void fixup(QString &input) const override;

    // Whether the text as it stands is a complete address.
    static bool isValid(const QString &text);
};

} // namespace EMail
} // namespace Utils
