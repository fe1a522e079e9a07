#include "utils/emailvalidator.h"

#include <QRegularExpression>

namespace Utils {
namespace EMail {

namespace {

// Both patterns spell out the capitals instead of matching case-insensitively: in Unicode mode
// that would also let letters such as U+017F (long s) and U+212A (Kelvin sign) pass for ASCII
// ones, and a mail server takes no such address.
const QRegularExpression &completePattern()
{
    static const QRegularExpression pattern(
        QStringLiteral("\\A[A-Za-z0-9._%+-]+@[A-Za-z0-9.-]+\\.[A-Za-z]{2,4}\\z"));
    return pattern;
}

const QRegularExpression &typingPattern()
{
    static const QRegularExpression pattern(
        QStringLiteral("\\A[A-Za-z0-9._%+-]*@?[A-Za-z0-9.-]*\\.?[A-Za-z]*\\z"));
    return pattern;
}

} // namespace

Validator::Validator(QObject *parent)
    : QValidator(parent)
{}

QValidator::State Validator::validate(QString &input, int &position) const
{
    Q_UNUSED(position)
    fixup(input);
    if (completePattern().match(input).hasMatch())
        return Acceptable;
    if (typingPattern().match(input).hasMatch())
        return Intermediate;
    return Invalid;
}

void Validator::fixup(QString &input) const
{
    input = input.trimmed().toLower();
}

bool Validator::isValid(const QString &text)
{
    return completePattern().match(text).hasMatch();
}

} // namespace EMail
} // namespace Utils
