// Reading and writing of the program's XML data files. Every data file goes through save(): the
// document is written to a new file beside the target and renamed over it only once it is
// complete, so that a crash, a full disk or a failed write leaves the previous file intact.
#pragma once

#include "utils/qxresult.h"

#include <QString>
#include <functional>

class QDomDocument;
class QXmlStreamWriter;

namespace Utils {
namespace XmlFile {

// Writes the processing instruction "xml" with "version=\"1.0\" standalone=\"yes\"", lets
// writeContent write the root element (indentation 4, UTF-8) and commits the file. writeContent
// returns false to abandon the save, which then fails and leaves the old file as it was.
// A failure carries the file's error code and text.
QxResult save(const QString &path, const std::function<bool(QXmlStreamWriter &)> &writeContent);

// Where and why a document could not be parsed.
struct ParseError
{
    QString message;
    int line = 0;
    int column = 0;
};

// Opens and parses a file. A file that cannot be opened gives an error with the file's code and
// text; a parse error gives a failure and fills *parseError (when given) so that the caller can
// word its own message.
QxResult read(const QString &path, QDomDocument *document, ParseError *parseError = nullptr);

// Moves a file that does not read as what it should be out of the way, beside itself as
// "<name>.damaged" (then "<name>.damaged-2", ...), so that the fresh file written in its place
// later leaves it for a person to look at. Returns the new path; empty when it could not be moved.
QString keepDamaged(const QString &path);

} // namespace XmlFile
} // namespace Utils
