// The benchmarks' 64 channels: 8 controllers of a bench model with 8 channels each, on the
// controller simulation, and the device specification that knows that model.
#pragma once

#include "config/tsprofile.h"
#include "device/tsspecparser.h"

#include "zdx7000/support/simulationfile.h"

#include <QFile>
#include <QList>
#include <QString>

#include <string>

namespace benchsupport {

constexpr int Controllers = 8;
constexpr int ChannelsPerController = 8;

// The controllers' lines of a simulation file. serialPrefix is the model's "158" and one more
// character, so that two benchmarks in one run never share a serial; extra goes into every
// controller's element.
inline std::string eightChannelControllers(const std::string &serialPrefix,
                                           const std::string &extra = std::string())
{
    std::string text;
    for (int c = 0; c < Controllers; ++c) {
        std::string channels;
        for (int n = 1; n <= ChannelsPerController; ++n)
            channels += zdx::test::channel(n, "Zone " + std::to_string(n),
                                           "actual=\"" + std::to_string(365 + n) + "\"");
        text += "<Controller serial=\"" + serialPrefix + std::to_string(c) +
                "\" description=\"Bench Unit B8\" vendorId=\"2E91\" productId=\"0009\" " + extra +
                ">" + channels + "</Controller>\n";
    }
    return text;
}

// Profile entries for all 64 channels of eightChannelControllers(serialPrefix), named by their
// identifiers.
inline QList<TsProfile::Channel> eightChannelEntries(const std::string &serialPrefix, bool alert)
{
    QList<TsProfile::Channel> entries;
    for (int c = 0; c < Controllers; ++c) {
        for (int n = 1; n <= ChannelsPerController; ++n) {
            TsProfile::Channel entry;
            entry.id = QString::fromStdString(serialPrefix) + QString("%1:%2").arg(c).arg(n);
            entry.name = entry.id;
            entry.alert = alert;
            entries << entry;
        }
    }
    return entries;
}

// The built-in specification with the eight-channel model added, written into folder.
inline QString specWithEightChannelModel(const QString &folder)
{
    QFile builtIn(TsSpecParser::builtInPath());
    builtIn.open(QIODevice::ReadOnly);
    QString text = QString::fromUtf8(builtIn.readAll());
    QString model =
        "<DeviceSpec name=\"Bench Unit B8\" id=\"usb@2E91/0009/158\" caps=\"\"><Channels>";
    for (int n = 1; n <= ChannelsPerController; ++n) {
        model += QString("<Channel number=\"%1\" scale=\"0.1\" unit=\"°C\" defaultSetpoint=\"37\" "
                         "caps=\"\"><StatusGreen delta=\"0.2\" timeIn=\"60\" timeOut=\"60\"/>"
                         "<StatusYellow delta=\"0.5\" timeIn=\"10\" timeOut=\"50\"/></Channel>")
                     .arg(n);
    }
    model += "</Channels></DeviceSpec>\n    ";
    text.insert(text.indexOf("<DeviceSpec "), model);
    const QString path = folder + "/devicespec.xml";
    QFile out(path);
    out.open(QIODevice::WriteOnly);
    out.write(text.toUtf8());
    return path;
}

} // namespace benchsupport
