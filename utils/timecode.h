// A duration of days, hours, minutes, seconds and milliseconds, as scripts, recorder settings and
// status lines show it.
#pragma once

#include <QMetaType>
#include <QString>
#include <QtGlobal>

struct TimeCode
{
    quint8 days = 0;
    quint8 hours = 0;
    quint8 minutes = 0;
    quint8 seconds = 0;
    quint16 milliseconds = 0;

    TimeCode() = default;
    TimeCode(quint8 days, quint8 hours, quint8 minutes, quint8 seconds, quint16 milliseconds = 0);

    // Splits a total; negative totals give zero and totals beyond 255 days give the longest
    // duration the fields hold, instead of wrapping around to a short one.
    static TimeCode fromMilliseconds(qint64 total);
    static constexpr qint64 MaximumMilliseconds =
        ((255LL * 86400 + 23 * 3600 + 59 * 60 + 59) * 1000) + 999;

    qint64 toMilliseconds() const;
    // "01d 02h 03m 04s", "02h 03m 04s" or "03m 04s".
    QString toString() const;

    bool operator==(const TimeCode &other) const
    {
        return toMilliseconds() == other.toMilliseconds();
    }
    bool operator!=(const TimeCode &other) const { return !(*this == other); }
};

Q_DECLARE_METATYPE(TimeCode)
