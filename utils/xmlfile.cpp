#include "utils/xmlfile.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDomDocument>
#include <QFile>
#include <QSaveFile>
#include <QXmlStreamWriter>

namespace Utils {
namespace XmlFile {

QxResult save(const QString &path, const std::function<bool(QXmlStreamWriter &)> &writeContent)
{
    if (path.isEmpty())
        return QxResult::failure();

    // Never fall back to writing in place: a file that cannot be replaced atomically is reported
    // as not saved rather than risked.
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        return QxResult(int(file.error()), file.errorString());

    QXmlStreamWriter writer(&file);
    writer.setCodec("UTF-8");
    // Formatting would put a line break before the first line.
    writer.writeProcessingInstruction(QStringLiteral("xml"),
                                      QStringLiteral("version=\"1.0\" standalone=\"yes\""));
    writer.setAutoFormatting(true);
    writer.setAutoFormattingIndent(4);
    const bool complete = writeContent && writeContent(writer);
    if (complete)
        writer.writeEndDocument();

    if (!complete || writer.hasError()) {
        // The write may have failed underneath the writer (disk full); the device knows why.
        QxResult result = file.error() != QFileDevice::NoError
                              ? QxResult(int(file.error()), file.errorString())
                              : QxResult(int(QFileDevice::WriteError),
                                         QCoreApplication::translate("Utils::XmlFile",
                                                                     "Writing '%1' was abandoned.")
                                             .arg(path));
        file.cancelWriting();
        qWarning("Utils::XmlFile::save: %s: %s", qPrintable(path), qPrintable(result.message()));
        return result;
    }
    if (!file.commit()) {
        qWarning("Utils::XmlFile::save: %s: %s", qPrintable(path), qPrintable(file.errorString()));
        return QxResult(int(file.error()), file.errorString());
    }
    return QxResult::success();
}

QxResult read(const QString &path, QDomDocument *document, ParseError *parseError)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QxResult(int(file.error()), file.errorString());

    ParseError error;
    if (!document->setContent(&file, &error.message, &error.line, &error.column)) {
        if (parseError)
            *parseError = error;
        return QxResult(error.message);
    }
    return QxResult::success();
}

} // namespace XmlFile
} // namespace Utils
