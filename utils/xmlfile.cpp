#include "utils/xmlfile.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDomDocument>
#include <QFile>
#include <QSaveFile>
#include <QXmlStreamWriter>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <unistd.h>
#endif

namespace Utils {
namespace XmlFile {

namespace {

// Some file systems (network ones, thin-provisioned ones) report a full disk only when the data
// leaves the cache. Returns why the sync failed, empty when it did not.
QString syncToDisk(QSaveFile &file)
{
#ifdef Q_OS_UNIX
    int result = 0;
    do {
        result = ::fsync(file.handle());
    } while (result != 0 && errno == EINTR);
    // EINVAL: a file system that cannot sync has nothing to report either.
    if (result != 0 && errno != EINVAL && errno != EROFS)
        return QString::fromLocal8Bit(std::strerror(errno));
#else
    Q_UNUSED(file)
#endif
    return QString();
}

} // namespace

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
    // commit() flushes its buffer without looking at the result and would put a truncated file
    // (on a full disk an empty one) in place of the old: the last bytes are written and forced to
    // the disk here, where a failure can still be refused.
    const bool flushed = file.flush();
    const QString syncError = flushed ? syncToDisk(file) : QString();
    if (!flushed || !syncError.isEmpty()) {
        const QxResult result = flushed ? QxResult(int(QFileDevice::WriteError), syncError)
                                        : QxResult(int(file.error()), file.errorString());
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

QString keepDamaged(const QString &path)
{
    for (int attempt = 1; attempt <= 100; ++attempt) {
        const QString target = attempt == 1
                                   ? path + QStringLiteral(".damaged")
                                   : QStringLiteral("%1.damaged-%2").arg(path).arg(attempt);
        if (QFile::exists(target))
            continue;
        if (QFile::rename(path, target))
            return target;
        break;
    }
    qWarning("Utils::XmlFile::keepDamaged: '%s' could not be moved aside", qPrintable(path));
    return QString();
}

} // namespace XmlFile
} // namespace Utils
