#include "prometheustext.h"

#include <cmath>

constexpr char PrometheusText::ContentType[];

PrometheusText::PrometheusText()
{
    m_text.reserve(16384);
}

void PrometheusText::family(const char *name, Type type, const QString &help)
{
    m_family = name;
    // In help texts only the backslash and the line feed are escaped.
    QByteArray text = help.toUtf8();
    text.replace('\\', "\\\\").replace('\n', "\\n");
    m_text += "# HELP " + m_family + ' ' + text + '\n';
    m_text += "# TYPE " + m_family + (type == Counter ? " counter\n" : " gauge\n");
}

void PrometheusText::sample(const QByteArray &labels, double value)
{
    m_text += m_family;
    if (!labels.isEmpty())
        m_text += '{' + labels + '}';
    m_text += ' ' + number(value) + '\n';
}

QByteArray PrometheusText::take()
{
    m_family.clear();
    return std::move(m_text);
}

QByteArray PrometheusText::labels(std::initializer_list<std::pair<const char *, QString>> pairs)
{
    QByteArray text;
    for (const auto &pair : pairs)
        text = withLabel(text, pair.first, pair.second);
    return text;
}

QByteArray PrometheusText::withLabel(const QByteArray &labels, const char *name,
                                     const QString &value)
{
    QByteArray text = labels;
    if (!text.isEmpty())
        text += ',';
    text += name;
    text += "=\"" + escapedLabelValue(value) + '"';
    return text;
}

QByteArray PrometheusText::escapedLabelValue(const QString &value)
{
    const QByteArray utf8 = value.toUtf8();
    QByteArray text;
    text.reserve(utf8.size() + 8);
    for (const char c : utf8) {
        switch (c) {
        case '\\':
            text += "\\\\";
            break;
        case '"':
            text += "\\\"";
            break;
        case '\n':
            text += "\\n";
            break;
        case '\r':
            // Not an escape of the format, but a bare carriage return ends the line for some
            // readers; it has no place in a name shown on one line anyway.
            text += ' ';
            break;
        default:
            text += c;
        }
    }
    return text;
}

QByteArray PrometheusText::number(double value)
{
    if (std::isnan(value))
        return QByteArrayLiteral("NaN");
    if (std::isinf(value))
        return value > 0 ? QByteArrayLiteral("+Inf") : QByteArrayLiteral("-Inf");
    return QByteArray::number(value, 'g', 15);
}
