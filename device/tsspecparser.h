// Reads the device specification document into a DeviceSpecSet.
#pragma once

#include "device/devicespec.h"
#include "utils/qxresult.h"

#include <QCoreApplication>
#include <QString>

class QByteArray;
class QDomElement;

class TsSpecParser
{
    Q_DECLARE_TR_FUNCTIONS(TsSpecParser)

public:
    TsSpecParser();

    // The specification compiled into the program.
    static QString builtInPath();

    // Reads a file or resource. On an error the result's message is the text to show the user and
    // specs() is left empty, so that no model is supported.
    QxResult load(const QString &path);
    QxResult parse(const QByteArray &document);

    // Entries that were skipped although the document as a whole was read; empty when none were.
    // A caller shows them like a load error.
    QString warnings() const { return m_warnings.join(QLatin1Char('\n')); }

    const DeviceSpecSet &specs() const { return m_specs; }
    DeviceSpecSet takeSpecs();

private:
    void readStatusCodes(const QDomElement &parent, const QString &listTag, const QString &itemTag,
                         StatusCodeMap &codes);
    void readDeviceSpec(const QDomElement &element);
    void readChannel(const QDomElement &element, DeviceSpec &device);
    void readGraphAxes(const QDomElement &element);
    void warn(const QDomElement &element, const QString &text);

    DeviceSpecSet m_specs;
    QStringList m_warnings;
};
