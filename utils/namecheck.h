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

// The longest name, in characters, that the program makes a file or folder name of. With the
// extension or time stamp it adds, such a name stays within what the file systems it writes to
// take (255 bytes or UTF-16 units), even when every character takes three bytes; a longer one
// would be accepted here and fail only when the file is written.
constexpr int MaxNameLength = 64;

// Whether the name, or for a path any of its folder and file names, is longer than that.
bool isTooLong(const QString &nameOrPath);
// Why, in the operator's words; for a path, said of each of its names.
QString tooLongText(bool path = false);

} // namespace NameCheck
} // namespace Utils
