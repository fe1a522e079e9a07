#include "config/tsprofile.h"

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QXmlStreamWriter>

#include <gtest/gtest.h>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void write(const QString &path, const QByteArray &content)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}

TsProfile sampleProfile()
{
    TsProfile profile;
    profile.setName("Overnight");
    profile.setDescription("HeLa, 37 °C & 5 % CO2");
    TsProfile::Channel temperature;
    temperature.id = "1204:1";
    temperature.name = "Stage";
    temperature.color = QColor(255, 16, 0);
    temperature.setpoint = 37.1234567;
    temperature.control = true;
    temperature.alert = false;
    temperature.unit = "°C";
    TsProfile::Channel gas;
    gas.id = "1204:3";
    gas.name = "CO2";
    gas.color = QColor("#00a0ff");
    gas.setpoint = 5;
    gas.control = false;
    gas.alert = true;
    gas.unit = "%";
    profile.setChannels({temperature, gas});
    TsRecorderLogSettings log;
    log.setStartMode(1);
    log.setStopMode(2);
    log.setStopAfter(90061000);
    log.setCaptureMode(0);
    log.setInterval(5000);
    profile.setLogSettings(log);
    TsRecorderCSVSettings csv;
    csv.setEnabled(true);
    csv.setColumnSeparator(59);
    csv.setPrintHeaderLine(false);
    csv.setDateTimeFormat("relative-time");
    profile.setCsvSettings(csv);
    profile.setLogFilePrefix("runs/overnight");
    profile.setViews({{"channels", true}, {"@all", false}});
    return profile;
}

TEST(TsProfile, DefaultsOfTheValues)
{
    const TsProfile profile;
    EXPECT_FALSE(profile.isValid());
    EXPECT_FALSE(profile.isNew());
    EXPECT_TRUE(profile.channels().isEmpty());

    const TsRecorderLogSettings log;
    EXPECT_EQ(log.startMode(), 0);
    EXPECT_EQ(log.stopMode(), 0);
    EXPECT_EQ(log.stopAfter(), 0);
    EXPECT_EQ(log.captureMode(), 0);
    EXPECT_EQ(log.interval(), 1000);
    EXPECT_EQ(log.datapoints(), 0);

    const TsRecorderCSVSettings csv;
    EXPECT_FALSE(csv.isEnabled());
    EXPECT_EQ(csv.columnSeparator(), 9);
    EXPECT_TRUE(csv.printHeaderLine());
    EXPECT_TRUE(csv.dateTimeFormat().isEmpty());
}

TEST(TsProfile, CopiesAreIndependentOnceChanged)
{
    TsProfile a = sampleProfile();
    TsProfile b = a;
    EXPECT_EQ(a, b);
    b.setName("Changed");
    TsRecorderLogSettings log = b.logSettings();
    log.setInterval(1);
    b.setLogSettings(log);
    EXPECT_EQ(a.name(), "Overnight");
    EXPECT_EQ(a.logSettings().interval(), 5000);
    EXPECT_NE(a, b);
}

TEST(TsProfile, FileLayoutIsExact)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Overnight.tsp");
    ASSERT_TRUE(sampleProfile().save(path).isSuccess());
    const QByteArray expected =
        "<?xml version=\"1.0\" standalone=\"yes\"?>\n"
        "<TsProfile name=\"Overnight\">\n"
        "    <Description>HeLa, 37 \xc2\xb0"
        "C &amp; 5 % CO2</Description>\n"
        "    <Channels>\n"
        "        <Channel id=\"1204:1\" name=\"Stage\" color=\"#ff1000\" setpoint=\"37.1234567\" "
        "control=\"1\" alert=\"0\" unit=\"\xc2\xb0"
        "C\"/>\n"
        "        <Channel id=\"1204:3\" name=\"CO2\" color=\"#00a0ff\" setpoint=\"5\" "
        "control=\"0\" alert=\"1\" unit=\"%\"/>\n"
        "    </Channels>\n"
        "    <Recorder logFilePrefix=\"runs/overnight\">\n"
        "        <LogSettings startMode=\"1\" stopMode=\"2\" stopAfter=\"90061000\" "
        "captureMode=\"0\" interval=\"5000\"/>\n"
        "        <CSVSettings columnSeparator=\"59\" printHeaderLine=\"0\" "
        "dateTimeFormat=\"relative-time\"/>\n"
        "    </Recorder>\n"
        "    <Views>\n"
        "        <View id=\"channels\" visible=\"1\"/>\n"
        "        <View id=\"@all\" visible=\"0\"/>\n"
        "    </Views>\n"
        "</TsProfile>\n";
    EXPECT_EQ(readAll(path).toStdString(), expected.toStdString());
}

TEST(TsProfile, ConditionalAttributesFollowTheModes)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("p.tsp");
    TsProfile profile = sampleProfile();
    TsRecorderLogSettings log;
    log.setStopMode(1);
    log.setStopAfter(5000); // meaningless for this stop mode
    log.setCaptureMode(1);
    log.setInterval(3000); // meaningless for this capture mode
    log.setDatapoints(250);
    profile.setLogSettings(log);
    profile.setCsvSettings(TsRecorderCSVSettings());
    ASSERT_TRUE(profile.save(path).isSuccess());

    const QByteArray text = readAll(path);
    EXPECT_TRUE(text.contains("<LogSettings startMode=\"0\" stopMode=\"1\" captureMode=\"1\" "
                              "datapoints=\"250\"/>"))
        << text.constData();
    EXPECT_FALSE(text.contains("CSVSettings")) << "CSV output off writes no element";

    TsProfile loaded;
    ASSERT_TRUE(loaded.load(path).isSuccess());
    EXPECT_EQ(loaded.logSettings().stopAfter(), 0);
    EXPECT_EQ(loaded.logSettings().interval(), 0);
    EXPECT_EQ(loaded.logSettings().datapoints(), 250);
    EXPECT_EQ(loaded.csvSettings(), TsRecorderCSVSettings());
}

TEST(TsProfile, RoundTripKeepsEveryFieldExactly)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("p.tsp");
    const TsProfile original = sampleProfile();
    ASSERT_TRUE(original.save(path).isSuccess());
    TsProfile loaded;
    ASSERT_TRUE(loaded.load(path).isSuccess());
    EXPECT_TRUE(loaded.isValid());
    TsProfile expected = original;
    expected.setValid(true);
    EXPECT_EQ(loaded, expected);
    EXPECT_EQ(loaded.channels().at(0).setpoint, 37.1234567) << "no rounding of setpoints";
}

TEST(TsProfile, ReadingIsTolerant)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("p.tsp");
    write(path, "<TsProfile name=\"Loose\">"
                " <Channels>"
                "  <Channel id=\" 7:1 \" name=\" A \" color=\"#102030\" setpoint=\"abc\""
                "   control=\"2\" unit=\" K \"/>"
                "  <Channel id=\"7:1\" name=\"duplicate\"/>"
                "  <Channel id=\"  \" name=\"no id\"/>"
                "  <Channel id=\"7:2\" alert=\"0\" setpoint=\"-4.5\"/>"
                " </Channels>"
                " <Recorder><LogSettings stopMode=\"1\" stopAfter=\"99\" captureMode=\"0\""
                "  interval=\"x\" datapoints=\"12\"/><CSVSettings/></Recorder>"
                " <Views><View id=\"\" visible=\"1\"/><View id=\" recorder \" visible=\"1\"/>"
                "  <View id=\"@all\"/></Views>"
                "</TsProfile>");
    TsProfile profile;
    ASSERT_TRUE(profile.load(path).isSuccess());
    EXPECT_EQ(profile.name(), "Loose");
    EXPECT_TRUE(profile.description().isEmpty());

    const QList<TsProfile::Channel> channels = profile.channels();
    ASSERT_EQ(channels.size(), 2);
    EXPECT_EQ(channels[0].id, "7:1");
    EXPECT_EQ(channels[0].name, "A") << "the first of two equal ids is taken";
    EXPECT_EQ(channels[0].color, QColor(0x10, 0x20, 0x30));
    EXPECT_EQ(channels[0].setpoint, 0.0);
    EXPECT_TRUE(channels[0].control);
    EXPECT_TRUE(channels[0].alert) << "a missing alert attribute means on";
    EXPECT_EQ(channels[0].unit, "K");
    EXPECT_EQ(channels[1].id, "7:2");
    EXPECT_FALSE(channels[1].alert);
    EXPECT_EQ(channels[1].setpoint, -4.5);

    EXPECT_EQ(profile.logSettings().stopMode(), 1);
    EXPECT_EQ(profile.logSettings().stopAfter(), 0);
    EXPECT_EQ(profile.logSettings().interval(), 0);
    EXPECT_EQ(profile.logSettings().datapoints(), 0);
    EXPECT_TRUE(profile.csvSettings().isEnabled()) << "present element means enabled";
    EXPECT_EQ(profile.csvSettings().columnSeparator(), 0);
    EXPECT_FALSE(profile.csvSettings().printHeaderLine());

    const QList<TsProfile::View> views = profile.views();
    ASSERT_EQ(views.size(), 2);
    EXPECT_EQ(views[0], (TsProfile::View{"recorder", true}));
    EXPECT_EQ(views[1], (TsProfile::View{"@all", false}));

    // No Recorder element at all: defaults.
    write(path, "<TsProfile/>");
    ASSERT_TRUE(profile.load(path).isSuccess());
    EXPECT_EQ(profile.logSettings(), TsRecorderLogSettings());
    EXPECT_FALSE(profile.csvSettings().isEnabled());
    EXPECT_TRUE(profile.channels().isEmpty()) << "a reload clears the old channels";
}

// Entries made without a colour (a new channel, the demonstration's, a file without the
// attribute) get graph colours of their own; black, which no legend key shows, never.
TEST(TsProfile, EntriesWithoutAColourGetDistinctGraphColours)
{
    const QList<QColor> &palette = TsProfile::graphColors();
    ASSERT_GE(palette.size(), 8);
    QList<TsProfile::Channel> entries;
    for (int i = 0; i < 10; ++i) {
        TsProfile::Channel entry;
        entry.id = QStringLiteral("150A7:%1").arg(i + 1);
        if (i == 1)
            entry.color = palette.first(); // chosen by the operator: kept, and not given again
        entries << entry;
    }
    TsProfile profile;
    profile.setChannels(entries);
    const QList<TsProfile::Channel> given = profile.channels();
    ASSERT_EQ(given.size(), 10);
    EXPECT_EQ(given[1].color, palette.first());
    QSet<QRgb> firstEight;
    for (int i = 0; i < 10; ++i) {
        EXPECT_TRUE(given[i].color.isValid()) << i;
        EXPECT_NE(given[i].color, QColor(Qt::black)) << i;
        if (i < 8)
            firstEight.insert(given[i].color.rgb());
    }
    EXPECT_EQ(firstEight.size(), 8) << "distinct while the palette lasts";

    QTemporaryDir dir;
    const QString path = dir.filePath("p.tsp");
    ASSERT_TRUE(profile.save(path).isSuccess());
    EXPECT_FALSE(readAll(path).contains("#000000"));

    write(path, "<TsProfile><Channels><Channel id=\"7:1\" color=\"#102030\"/>"
                "<Channel id=\"7:2\"/></Channels></TsProfile>");
    ASSERT_TRUE(profile.load(path).isSuccess());
    EXPECT_EQ(profile.channels()[0].color, QColor(0x10, 0x20, 0x30));
    EXPECT_EQ(profile.channels()[1].color, palette.first());
}

TEST(TsProfile, RefusedDocumentsLeaveTheProfileAlone)
{
    QTemporaryDir dir;
    TsProfile profile = sampleProfile();

    const QString broken = dir.filePath("broken.tsp");
    write(broken, "<TsProfile>\n<Channels>\n</TsProfile>");
    QxResult result = profile.load(broken);
    ASSERT_TRUE(result.isError());
    EXPECT_TRUE(result.message().startsWith("Bad profile 'broken.tsp'. "))
        << qPrintable(result.message());
    EXPECT_TRUE(result.message().contains("(line 3, column")) << qPrintable(result.message());

    const QString wrongRoot = dir.filePath("wrong.tsp");
    write(wrongRoot, "<TsUserData name=\"x\"/>");
    result = profile.load(wrongRoot);
    EXPECT_EQ(result.message(), "Bad profile. Root element is invalid.");

    result = profile.load(dir.filePath("missing.tsp"));
    EXPECT_TRUE(result.isError());
    EXPECT_EQ(result.code(), int(QFileDevice::OpenError));
    EXPECT_FALSE(result.message().isEmpty());

    EXPECT_EQ(profile, sampleProfile());
    TsProfile fresh;
    EXPECT_TRUE(fresh.load(broken).isError());
    EXPECT_FALSE(fresh.isValid());
}

TEST(TsProfile, FailedSaveKeepsTheOldFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("p.tsp");
    ASSERT_TRUE(sampleProfile().save(path).isSuccess());
    const QByteArray before = readAll(path);

    const QxResult missingFolder = sampleProfile().save(dir.filePath("no/such/folder/p.tsp"));
    EXPECT_TRUE(missingFolder.isError());
    EXPECT_NE(missingFolder.code(), 0);
    EXPECT_FALSE(missingFolder.message().isEmpty());

    // The target is a folder: nothing can replace it, and the profile beside it is unharmed.
    QDir(dir.path()).mkdir("folder.tsp");
    EXPECT_TRUE(sampleProfile().save(dir.filePath("folder.tsp")).isError());
    EXPECT_EQ(readAll(path), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({"p.tsp"}))
        << "no half-written file is left behind";
}

} // namespace

namespace {

TEST(TsRecorderSettings, EditorChoicesAndTheirSelection)
{
    using Csv = TsRecorderCSVSettings;
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QLocale german(QLocale::German, QLocale::Germany);
    const auto separators = Csv::offeredColumnSeparators(english);
    ASSERT_EQ(separators.size(), 3);
    EXPECT_EQ(separators.at(0), qMakePair(QString("Tab (\\t)"), quint8(9)));
    EXPECT_EQ(separators.at(1), qMakePair(QString("Semicolon (;)"), quint8(59)));
    EXPECT_EQ(separators.at(2), qMakePair(QString("Comma (,)"), quint8(44)));
    // Where the comma is the decimal point it would split every number in two.
    EXPECT_EQ(Csv::offeredColumnSeparators(german).size(), 2);
    EXPECT_EQ(Csv::columnSeparatorIndex(44, english), 2);
    EXPECT_EQ(Csv::columnSeparatorIndex(44, german), -1);
    EXPECT_EQ(Csv::columnSeparatorIndex(124, english), -1) << "'|' is not offered: no selection";

    const auto formats = Csv::offeredDateTimeFormats();
    ASSERT_EQ(formats.size(), 5);
    EXPECT_EQ(formats.at(3),
              qMakePair(QString("DD.MM.YYYY hh:mm:ss"), QString("dd.MM.yyyy hh:mm:ss")));
    EXPECT_EQ(formats.at(4), qMakePair(QString("Relative time"), QString("relative-time")));
    EXPECT_EQ(Csv::dateTimeFormatIndex("relative-time"), 4);
    EXPECT_EQ(Csv::dateTimeFormatIndex("hh:mm"), 0) << "an unknown format shows the first entry";

    using Log = TsRecorderLogSettings;
    EXPECT_EQ(Log::intervalFromSeconds(5), 5000);
    EXPECT_EQ(Log::intervalFromSeconds(0), 1000) << "below one second is stored as one";
    EXPECT_EQ(Log::intervalFromSeconds(-3), 1000);
    EXPECT_EQ(Log::intervalFromSeconds(1000000), 1000000000);
    EXPECT_EQ(Log::intervalToSeconds(2500), 2);
    EXPECT_EQ(Log::stopAfterFor(Log::StopAfter, 1, 1, 1, 1), 90061000);
    EXPECT_EQ(Log::stopAfterFor(Log::StopAfter, 300, 0, 0, 0), 300LL * 86400 * 1000);
    EXPECT_EQ(Log::stopAfterFor(Log::StopWithDynamicExp, 1, 1, 1, 1), 0);
}

} // namespace
