#include "user/tsusersettings.h"

#include <QFile>
#include <QTemporaryDir>

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

TEST(TsUserSettings, Defaults)
{
    const TsUserSettings settings;
    EXPECT_TRUE(settings.name().isEmpty());
    EXPECT_TRUE(settings.email().isEmpty());
    EXPECT_TRUE(settings.logPath().isEmpty());
    EXPECT_EQ(settings.style(), 0);
    EXPECT_EQ(settings.flags(), 3);
    EXPECT_EQ(settings.csvSettings(), TsRecorderCSVSettings());
}

TEST(TsUserSettings, FileLayoutIsExactAndReadsBack)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Userdata.xml");
    TsUserSettings settings;
    settings.setName("Zoë");
    settings.setEmail("zoe@lab.org");
    settings.setLogPath("/data/logs");
    settings.setStyle(1);
    settings.setFlags(2);
    TsRecorderCSVSettings csv;
    csv.setEnabled(true);
    csv.setDateTimeFormat("yyyy-MM-dd hh:mm:ss");
    settings.setCsvSettings(csv);
    ASSERT_TRUE(settings.save(path).isSuccess());

    const QByteArray expected = "<?xml version=\"1.0\" standalone=\"yes\"?>\n"
                                "<TsUserData name=\"Zo\xc3\xab\">\n"
                                "    <EMail address=\"zoe@lab.org\"/>\n"
                                "    <Recorder LogPath=\"/data/logs\">\n"
                                "        <CSVSettings columnSeparator=\"9\" printHeaderLine=\"1\" "
                                "dateTimeFormat=\"yyyy-MM-dd hh:mm:ss\"/>\n"
                                "    </Recorder>\n"
                                "    <UIStyle style=\"1\"/>\n"
                                "    <Flags value=\"2\"/>\n"
                                "</TsUserData>\n";
    EXPECT_EQ(readAll(path).toStdString(), expected.toStdString());

    TsUserSettings loaded;
    ASSERT_TRUE(loaded.load(path).isSuccess());
    EXPECT_EQ(loaded, settings);

    // CSV output off: no element, and it reads back as off.
    settings.setCsvSettings(TsRecorderCSVSettings());
    ASSERT_TRUE(settings.save(path).isSuccess());
    EXPECT_TRUE(readAll(path).contains("    <Recorder LogPath=\"/data/logs\"/>\n"));
    ASSERT_TRUE(loaded.load(path).isSuccess());
    EXPECT_FALSE(loaded.csvSettings().isEnabled());
}

TEST(TsUserSettings, MissingFieldsOfAnExistingFileReadAsZero)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Userdata.xml");
    write(path, "<TsUserData><UIStyle style=\"abc\"/></TsUserData>");
    TsUserSettings settings;
    settings.setEmail("old@lab.org");
    ASSERT_TRUE(settings.load(path).isSuccess());
    EXPECT_EQ(settings.flags(), 0) << "no Flags element: both apply flags off";
    EXPECT_EQ(settings.style(), 0) << "malformed style: dark";
    EXPECT_TRUE(settings.email().isEmpty());
    EXPECT_TRUE(settings.logPath().isEmpty());

    write(path, "<TsUserData><UIStyle style=\"1\"/><Flags value=\"1\"/></TsUserData>");
    ASSERT_TRUE(settings.load(path).isSuccess());
    EXPECT_EQ(settings.style(), 1);
    EXPECT_EQ(settings.flags(), 1);
}

TEST(TsUserSettings, FailuresLeaveTheObjectAndTheFileAlone)
{
    QTemporaryDir dir;
    TsUserSettings settings;
    settings.setEmail("kept@lab.org");

    EXPECT_TRUE(settings.load(QString()).isError());
    EXPECT_TRUE(settings.save(QString()).isError());

    const QString wrongRoot = dir.filePath("wrong.xml");
    write(wrongRoot, "<TsProfile name=\"x\"/>");
    QxResult result = settings.load(wrongRoot);
    EXPECT_EQ(result.message(), QString("Unable to load '%1'. Invalid root tag.").arg(wrongRoot));

    const QString broken = dir.filePath("broken.xml");
    write(broken, "<TsUserData>\n  <EMail");
    result = settings.load(broken);
    ASSERT_TRUE(result.isError());
    EXPECT_TRUE(result.message().contains(broken)) << qPrintable(result.message());
    EXPECT_TRUE(result.message().contains("line 2")) << qPrintable(result.message());

    result = settings.load(dir.filePath("missing.xml"));
    EXPECT_EQ(result.code(), int(QFileDevice::OpenError));
    EXPECT_EQ(settings.email(), "kept@lab.org");

    result = settings.save(dir.filePath("no/folder/Userdata.xml"));
    EXPECT_TRUE(result.isError());
    EXPECT_FALSE(result.message().isEmpty());
}

} // namespace
