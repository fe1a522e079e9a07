#include "experiment/tsrecordingwriter.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSaveFile>

#include <cmath>

QxResult TsRecordingWriter::write(const TsRecording &recording, std::size_t first, std::size_t end,
                                  const QString &path)
{
    const auto tr = [](const char *text) {
        return QCoreApplication::translate("TsRecordingWriter", text);
    };
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QxResult(tr("'%1' cannot be written: %2").arg(path, file.errorString()));

    QByteArray text = "\"Timestamp\"\t";
    for (const TsRecording::Channel &channel : recording.channels) {
        QString name = channel.name;
        name.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        for (const char *role : {": Actual Value", ": Setpoint Value", ": Control"})
            text += '"' + name.toUtf8() + role + "\"\t";
    }
    text += '\n';
    const std::vector<double> &times = *recording.times;
    end = std::min(end, times.size());
    for (std::size_t row = first; row < end; ++row) {
        text += QDateTime::fromMSecsSinceEpoch(qint64(times[row]))
                    .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))
                    .toLatin1();
        text += '\t';
        for (const TsRecording::Channel &channel : recording.channels) {
            const float value = row < channel.values.size() ? channel.values[row] : NAN;
            if (std::isfinite(value))
                text += QByteArray::number(double(value), 'f', 1);
            text += "\t\t\t";
        }
        text += '\n';
        if (text.size() > (1 << 20)) {
            if (file.write(text) != text.size())
                break;
            text.clear();
        }
    }
    if (file.write(text) != text.size() || !file.commit())
        return QxResult(tr("'%1' cannot be written: %2").arg(path, file.errorString()));
    return QxResult();
}
