// The exposition text read back the way a scraper reads it: every line must match the format's
// grammar, and no text in a label or help line may end it early or make another series.
#include "utils/web/prometheustext.h"

#include <QList>
#include <QRegularExpression>
#include <QStringList>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

struct Sample
{
    QByteArray name;
    QList<QPair<QByteArray, QString>> labels;
    QByteArray value;
};

// The 0.0.4 text format's line grammar, and the label values unescaped as a scraper does.
QList<Sample> parse(const QByteArray &text, QStringList &errors)
{
    static const QRegularExpression comment(
        QStringLiteral(R"re(^# (HELP [a-zA-Z_:][a-zA-Z0-9_:]* ([^\\]|\\[\\n])*|)re"
                       R"re(TYPE [a-zA-Z_:][a-zA-Z0-9_:]* (gauge|counter))$)re"));
    static const QRegularExpression sample(QStringLiteral(
        R"re(^([a-zA-Z_:][a-zA-Z0-9_:]*)(\{((?:[a-zA-Z_][a-zA-Z0-9_]*="(?:[^"\\\n]|\\[\\"n])*",?)*)\})? )re"
        R"re(([-+]?(?:[0-9]*\.?[0-9]+(?:[eE][-+]?[0-9]+)?|Inf)|NaN)$)re"));
    static const QRegularExpression label(
        QStringLiteral(R"re(([a-zA-Z_][a-zA-Z0-9_]*)="((?:[^"\\]|\\[\\"n])*)")re"));
    QList<Sample> samples;
    if (!text.endsWith('\n'))
        errors << QStringLiteral("no final line feed");
    for (const QByteArray &line : text.split('\n')) {
        if (line.isEmpty())
            continue;
        const QString s = QString::fromUtf8(line);
        if (s.startsWith(QLatin1Char('#'))) {
            if (!comment.match(s).hasMatch())
                errors << s;
            continue;
        }
        const QRegularExpressionMatch m = sample.match(s);
        if (!m.hasMatch()) {
            errors << s;
            continue;
        }
        Sample parsed;
        parsed.name = m.captured(1).toUtf8();
        parsed.value = m.captured(4).toUtf8();
        auto it = label.globalMatch(m.captured(3));
        while (it.hasNext()) {
            const QRegularExpressionMatch l = it.next();
            QString value;
            const QString raw = l.captured(2);
            for (int i = 0; i < raw.size(); ++i) {
                if (raw.at(i) == QLatin1Char('\\') && i + 1 < raw.size()) {
                    const QChar next = raw.at(++i);
                    value += next == QLatin1Char('n') ? QChar(QLatin1Char('\n')) : next;
                } else {
                    value += raw.at(i);
                }
            }
            parsed.labels.append({l.captured(1).toUtf8(), value});
        }
        samples.append(parsed);
    }
    return samples;
}

} // namespace

TEST(PrometheusTextTest, HostileTextsStayInsideTheirLabelAndHelpLine)
{
    const QString hostile = QStringLiteral("Zone \"A\" \\ x\n} 1\nforged_series 2 °C");
    PrometheusText text;
    text.family("tessaro_test_value", PrometheusText::Gauge,
                QStringLiteral("A help text with a \\ and\na line feed"));
    text.sample(PrometheusText::labels({{"channel", hostile}, {"unit", QStringLiteral("°C")}}),
                1.5);
    text.sample(PrometheusText::withLabel(PrometheusText::labels({{"channel", QString()}}), "state",
                                          QStringLiteral("red")),
                0);
    text.family("tessaro_test_total", PrometheusText::Counter, QStringLiteral("Counted."));
    text.sample(42);

    QStringList errors;
    const QList<Sample> samples = parse(text.take(), errors);
    EXPECT_TRUE(errors.isEmpty()) << qPrintable(errors.join(QLatin1Char('\n')));
    ASSERT_EQ(samples.size(), 3) << "a name must not forge another series";
    EXPECT_EQ(samples.at(0).name, "tessaro_test_value");
    ASSERT_EQ(samples.at(0).labels.size(), 2);
    EXPECT_EQ(samples.at(0).labels.at(0).second, hostile);
    EXPECT_EQ(samples.at(0).labels.at(1).second, QStringLiteral("°C"));
    EXPECT_EQ(samples.at(0).value, "1.5");
    EXPECT_EQ(samples.at(1).labels.at(1).first, "state");
    EXPECT_EQ(samples.at(2).name, "tessaro_test_total");
    EXPECT_EQ(samples.at(2).value, "42");
}

TEST(PrometheusTextTest, NumbersReadAsTheirReadingAndSpecialValuesAsTheFormatSpellsThem)
{
    // A controller's 234 tenths: the binary product is 23.400000000000002.
    EXPECT_EQ(PrometheusText::number(234 * 0.1), "23.4");
    EXPECT_EQ(PrometheusText::number(-0.5), "-0.5");
    EXPECT_EQ(PrometheusText::number(1733750000.123), "1733750000.123");
    EXPECT_EQ(PrometheusText::number(std::numeric_limits<double>::quiet_NaN()), "NaN");
    EXPECT_EQ(PrometheusText::number(std::numeric_limits<double>::infinity()), "+Inf");
    EXPECT_EQ(PrometheusText::number(-std::numeric_limits<double>::infinity()), "-Inf");
    // A carriage return would end the line for some readers.
    EXPECT_FALSE(PrometheusText::escapedLabelValue(QStringLiteral("a\rb")).contains('\r'));
}
