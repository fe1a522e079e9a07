#include "utils/emailvalidator.h"

#include <QRegularExpression>

namespace Utils {
namespace EMail {

namespace {

// The patterns spell out the capitals instead of matching case-insensitively: in Unicode mode
// that would also let letters such as U+017F (long s) and U+212A (Kelvin sign) pass for ASCII
// ones, and a mail server takes no such address.
#define TS_ATEXT "[A-Za-z0-9!#$%&'*+/=?^_`{|}~-]"
#define TS_LABEL "[A-Za-z0-9](?:[A-Za-z0-9-]{0,61}[A-Za-z0-9])?"

// The mail standards' address: a dot-atom or quoted local part, then a domain of labels whose
// last is a top-level domain of letters (any length) or an internationalised one ("xn--"), or an
// address literal in brackets.
const QRegularExpression &completePattern()
{
    static const QRegularExpression pattern(
        QStringLiteral("\\A(?:" TS_ATEXT "+(?:\\." TS_ATEXT
                       "+)*|\"(?:[\\x20\\x21\\x23-\\x5b\\x5d-\\x7e]|\\\\[\\x20-"
                       "\\x7e])*\")@(?:(?:" TS_LABEL
                       "\\.)+(?:[A-Za-z]{2,63}|xn--[A-Za-z0-9-]{1,59})|\\[(?:[0-9]{1,3}"
                       "\\.){3}[0-9]{1,3}\\])\\z"));
    return pattern;
}

const QRegularExpression &typingPattern()
{
    static const QRegularExpression pattern(
        QStringLiteral("\\A(?:" TS_ATEXT "|\\.|\"[\\x20-\\x7e]*\"?)*@?[A-Za-z0-9.\\[\\]-]*\\z"));
    return pattern;
}

#undef TS_ATEXT
#undef TS_LABEL

// Limits of the mail standards: 64 characters before the at sign, 254 in all.
bool withinLimits(const QString &text)
{
    const int at = text.lastIndexOf(QLatin1Char('@'));
    return text.size() <= 254 && at >= 1 && at <= 64;
}

} // namespace

Validator::Validator(QObject *parent)
    : QValidator(parent)
{}

QValidator::State Validator::validate(QString &input, int &position) const
{
    Q_UNUSED(position)
    fixup(input);
    if (isValid(input))
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
    return withinLimits(text) && completePattern().match(text).hasMatch();
}

QStringList Validator::addresses(const QString &list)
{
    QStringList result;
    static const QRegularExpression separators(QStringLiteral("[,;]"));
    for (const QString &part : list.split(separators)) {
        const QString address = part.trimmed();
        if (!address.isEmpty())
            result << address;
    }
    return result;
}

bool Validator::isValidList(const QString &list)
{
    const QStringList all = addresses(list);
    if (all.isEmpty())
        return false;
    for (const QString &address : all) {
        if (!isValid(address))
            return false;
    }
    return true;
}

} // namespace EMail
} // namespace Utils
