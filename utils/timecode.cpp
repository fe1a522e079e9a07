#include "timecode.h"

TimeCode::TimeCode(quint8 days, quint8 hours, quint8 minutes, quint8 seconds, quint16 milliseconds)
    : days(days)
    , hours(hours)
    , minutes(minutes)
    , seconds(seconds)
    , milliseconds(milliseconds)
{}

TimeCode TimeCode::fromMilliseconds(qint64 total)
{
    total = qBound<qint64>(0, total, MaximumMilliseconds);
    TimeCode t;
    t.milliseconds = quint16(total % 1000);
    qint64 rest = total / 1000;
    t.seconds = quint8(rest % 60);
    rest /= 60;
    t.minutes = quint8(rest % 60);
    rest /= 60;
    t.hours = quint8(rest % 24);
    t.days = quint8(rest / 24);
    return t;
}

qint64 TimeCode::toMilliseconds() const
{
    return (qint64(days) * 86400 + qint64(hours) * 3600 + qint64(minutes) * 60 + seconds) * 1000 +
           milliseconds;
}

QString TimeCode::toString() const
{
    auto two = [](int n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); };
    if (days)
        return QStringLiteral("%1d %2h %3m %4s")
            .arg(two(days), two(hours), two(minutes), two(seconds));
    if (hours)
        return QStringLiteral("%1h %2m %3s").arg(two(hours), two(minutes), two(seconds));
    return QStringLiteral("%1m %2s").arg(two(minutes), two(seconds));
}
