// Checks e-mail addresses as they are typed (user settings, mailer settings).
#pragma once

#include <QStringList>
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

    // Whether the text as it stands is a complete address as the mail standards have it (any
    // top-level domain, quoted local parts, address literals).
    static bool isValid(const QString &text);
    // The addresses of a list separated by commas or semicolons, trimmed, empty ones left out.
    static QStringList addresses(const QString &list);
    // At least one address, and every one complete.
    static bool isValidList(const QString &list);
};

} // namespace EMail
} // namespace Utils
