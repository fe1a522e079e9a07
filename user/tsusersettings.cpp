#include "user/tsusersettings.h"

#include "utils/xmlfile.h"

#include <QCoreApplication>
#include <QDomDocument>
#include <QXmlStreamWriter>

bool TsUserSettings::operator==(const TsUserSettings &other) const
{
    return m_name == other.m_name && m_email == other.m_email && m_logPath == other.m_logPath &&
           m_style == other.m_style && m_flags == other.m_flags &&
           m_csvSettings == other.m_csvSettings;
}

QxResult TsUserSettings::save(const QString &path) const
{
    if (path.isEmpty())
        return QxResult::failure();
    qDebug("TsUserSettings::save: %s", qPrintable(path));

    return Utils::XmlFile::save(path, [this](QXmlStreamWriter &writer) {
        writer.writeStartElement(QStringLiteral("TsUserData"));
        writer.writeAttribute(QStringLiteral("name"), m_name);

        writer.writeEmptyElement(QStringLiteral("EMail"));
        writer.writeAttribute(QStringLiteral("address"), m_email);

        writer.writeStartElement(QStringLiteral("Recorder"));
        writer.writeAttribute(QStringLiteral("LogPath"), m_logPath);
        m_csvSettings.writeTo(writer);
        writer.writeEndElement();

        writer.writeEmptyElement(QStringLiteral("UIStyle"));
        writer.writeAttribute(QStringLiteral("style"), QString::number(m_style));

        writer.writeEmptyElement(QStringLiteral("Flags"));
        writer.writeAttribute(QStringLiteral("value"), QString::number(m_flags));

        writer.writeEndElement();
        return true;
    });
}

QxResult TsUserSettings::load(const QString &path)
{
    if (path.isEmpty())
        return QxResult::failure();
    qDebug("TsUserSettings::load: %s", qPrintable(path));

    QDomDocument document;
    Utils::XmlFile::ParseError parseError;
    const QxResult read = Utils::XmlFile::read(path, &document, &parseError);
    if (read.isError()) {
        if (parseError.message.isEmpty())
            return read;
        return QxResult(QCoreApplication::translate("TsUserSettings",
                                                    "Unable to load '%1'. %2 (line %3, column %4)")
                            .arg(path, parseError.message)
                            .arg(parseError.line)
                            .arg(parseError.column));
    }

    const QDomElement root = document.documentElement();
    if (root.tagName() != QLatin1String("TsUserData"))
        return QxResult(
            QCoreApplication::translate("TsUserSettings", "Unable to load '%1'. Invalid root tag.")
                .arg(path));

    m_name = root.attribute(QStringLiteral("name"));
    m_email = root.firstChildElement(QStringLiteral("EMail")).attribute(QStringLiteral("address"));
    const QDomElement recorder = root.firstChildElement(QStringLiteral("Recorder"));
    m_logPath = recorder.attribute(QStringLiteral("LogPath"));
    m_style = root.firstChildElement(QStringLiteral("UIStyle"))
                  .attribute(QStringLiteral("style"))
                  .toInt();
    m_flags =
        root.firstChildElement(QStringLiteral("Flags")).attribute(QStringLiteral("value")).toInt();
    m_csvSettings.readFrom(recorder);
    return QxResult::success();
}
