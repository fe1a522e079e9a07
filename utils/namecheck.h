// Checks for names that become files or folders: user, profile and dynamic-experiment names are
// plain file names; a recorder file prefix may also name a sub-folder.
#pragma once

#include <QString>

namespace Utils {
namespace NameCheck {

// Not empty; not a reserved device name (PRN, AUX, CLOCK$, NUL, CON, COM0-9, LPT0-9, in any case)
// nor a name beginning with '.', either optionally followed by an extension; no control character
// and none of ? * : " ; | < > / \.
bool isValidFileName(const QString &name);

// The same rule, but '/' and '\' are allowed so that the text may name a sub-folder.
bool isValidFilePath(const QString &path);

} // namespace NameCheck
} // namespace Utils
