#include "utils/namecheck.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <algorithm>

namespace Utils {
namespace NameCheck {

namespace {

// Device names are reserved regardless of case and extension on the target platform, and a
// folder named like one could not be created or removed there.
bool isReservedOrHidden(const QString &text)
{
    static const QRegularExpression reserved(
        QStringLiteral("\\A(?:PRN|AUX|CLOCK\\$|NUL|CON|COM\\d|LPT\\d|\\..*)(?:\\..+)?\\z"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    return reserved.match(text).hasMatch();
}

bool hasOnlyAllowedCharacters(const QString &text, bool allowSeparators)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20)
            return false;
        switch (c.unicode()) {
        case '?':
        case '*':
        case ':':
        case '"':
        case ';':
        case '|':
        case '<':
        case '>':
            return false;
        case '/':
        case '\\':
            if (!allowSeparators)
                return false;
            break;
        default:
            break;
        }
    }
    return true;
}

} // namespace

bool isValidFileName(const QString &name)
{
    return !name.isEmpty() && !isReservedOrHidden(name) && hasOnlyAllowedCharacters(name, false);
}

bool isValidFilePath(const QString &path)
{
    return !path.isEmpty() && !isReservedOrHidden(path) && hasOnlyAllowedCharacters(path, true);
}

bool isTooLong(const QString &nameOrPath)
{
    static const QRegularExpression separators(QStringLiteral("[/\\\\]"));
    const QStringList parts = nameOrPath.split(separators);
    return std::any_of(parts.cbegin(), parts.cend(),
                       [](const QString &part) { return part.size() > MaxNameLength; });
}

QString tooLongText(bool path)
{
    return path ? QCoreApplication::translate("Utils::NameCheck",
                                              "The name is too long: each folder and file name "
                                              "may have at most %1 characters.")
                      .arg(MaxNameLength)
                : QCoreApplication::translate("Utils::NameCheck",
                                              "The name is too long: at most %1 characters are "
                                              "possible.")
                      .arg(MaxNameLength);
}

} // namespace NameCheck
} // namespace Utils
