#include "utils/emailvalidator.h"

#include <QRegularExpression>

namespace Utils {
namespace EMail {

namespace {

const QRegularExpression &completePattern()
{
    static const QRegularExpression pattern(
        QStringLiteral("\\A[a-z0-9._%+-]+@[a-z0-9.-]+\\.[a-z]{2,4}\\z"),
        QRegularExpression::CaseInsensitiveOption);
    return pattern;
}

const QRegularExpression &typingPattern()
{
    static const QRegularExpression pattern(
        QStringLiteral("\\A[a-z0-9._%+-]*@?[a-z0-9.-]*\\.?[a-z]*\\z"),
        QRegularExpression::CaseInsensitiveOption);
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
