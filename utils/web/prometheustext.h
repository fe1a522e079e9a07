// Writes metrics in the text exposition format that metrics scrapers read (version 0.0.4): one
// "# HELP" and "# TYPE" line per family, then its samples, one per line.
#pragma once

#include <QByteArray>
#include <QString>

#include <initializer_list>
#include <utility>

class PrometheusText
{
public:
    enum Type
    {
        Gauge,
        Counter
    };

    static constexpr char ContentType[] = "text/plain; version=0.0.4; charset=utf-8";

    PrometheusText();

    // Starts a family; its samples follow until the next family. The name is the program's own
    // and must already be a valid metric name.
    void family(const char *name, Type type, const QString &help);
    // One sample of the current family. labels is a rendered label list without braces (see
    // labels()), empty for none.
    void sample(const QByteArray &labels, double value);
    void sample(double value) { sample(QByteArray(), value); }

    QByteArray take();

    // name="value",... with the values escaped, so that no text can end its label or its line.
    static QByteArray labels(std::initializer_list<std::pair<const char *, QString>> pairs);
    // Appends one more label to a rendered list.
    static QByteArray withLabel(const QByteArray &labels, const char *name, const QString &value);
    static QByteArray escapedLabelValue(const QString &value);
    // 15 significant digits: a reading of 234 tenths is 23.4, not the 23.400000000000002 that
    // its binary form spells out in full; "NaN", "+Inf", "-Inf".
    static QByteArray number(double value);

private:
    QByteArray m_text;
    QByteArray m_family;
};
