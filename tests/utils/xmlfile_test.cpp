#include "utils/xmlfile.h"

#include "support/smalltmpfs.h"

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QTemporaryDir>
#include <QXmlStreamWriter>

#include <gtest/gtest.h>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeRoot(QXmlStreamWriter &writer)
{
    writer.writeStartElement("Root");
    writer.writeAttribute("b", "2");
    writer.writeAttribute("a", "1");
    writer.writeEmptyElement("Child");
    writer.writeEndElement();
    return true;
}

TEST(XmlFile, WritesDeclarationAndIndentedContent)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("f.xml");
    ASSERT_TRUE(Utils::XmlFile::save(path, writeRoot).isSuccess());
    EXPECT_EQ(readAll(path).toStdString(), "<?xml version=\"1.0\" standalone=\"yes\"?>\n"
                                           "<Root b=\"2\" a=\"1\">\n"
                                           "    <Child/>\n"
                                           "</Root>\n");
    QDomDocument document;
    EXPECT_TRUE(Utils::XmlFile::read(path, &document).isSuccess());
    EXPECT_EQ(document.documentElement().attribute("a"), "1");
}

TEST(XmlFile, AbandonedSaveKeepsTheOldFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("f.xml");
    ASSERT_TRUE(Utils::XmlFile::save(path, writeRoot).isSuccess());
    const QByteArray before = readAll(path);

    // The content is half written when the writer gives up, as when a disk fills up.
    const QxResult result = Utils::XmlFile::save(path, [](QXmlStreamWriter &writer) {
        writer.writeStartElement("Root");
        writer.writeCharacters(QString(100000, 'x'));
        return false;
    });
    EXPECT_TRUE(result.isError());
    EXPECT_FALSE(result.message().isEmpty());
    EXPECT_EQ(readAll(path), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({"f.xml"}))
        << "no temporary file is left behind";
}

TEST(XmlFile, UnwritableTargetsReportTheFileError)
{
    QTemporaryDir dir;
    QxResult result = Utils::XmlFile::save(dir.filePath("missing/f.xml"), writeRoot);
    EXPECT_TRUE(result.isError());
    EXPECT_NE(result.code(), 0);
    EXPECT_FALSE(result.message().isEmpty());
    EXPECT_TRUE(Utils::XmlFile::save(QString(), writeRoot).isError());

    QDomDocument document;
    result = Utils::XmlFile::read(dir.filePath("none.xml"), &document);
    EXPECT_EQ(result.code(), int(QFileDevice::OpenError));

    QFile broken(dir.filePath("broken.xml"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("<a>\n<b>\n</a>");
    broken.close();
    Utils::XmlFile::ParseError error;
    result = Utils::XmlFile::read(broken.fileName(), &document, &error);
    EXPECT_TRUE(result.isError());
    EXPECT_EQ(error.line, 3);
    EXPECT_GT(error.column, 0);
    EXPECT_FALSE(error.message.isEmpty());
}

TEST(XmlFile, AFullDiskKeepsTheOldFileAndSaysWhy)
{
    QTemporaryDir dir;
    SmallTmpfs disk(dir.path(), 64);
    if (!disk.isMounted())
        GTEST_SKIP() << disk.skipReason().toStdString();
    const QString path = dir.filePath("Settings.xml");
    ASSERT_TRUE(Utils::XmlFile::save(path, writeRoot).isSuccess());
    const QByteArray before = readAll(path);
    ASSERT_TRUE(disk.fill());

    // The content fits the write buffer: only the flush at the end meets the full disk.
    QxResult result = Utils::XmlFile::save(path, writeRoot);
    EXPECT_TRUE(result.isError());
    EXPECT_NE(result.code(), 0);
    EXPECT_TRUE(result.message().contains("space")) << result.message().toStdString();
    EXPECT_EQ(readAll(path), before);

    // A first save on a full disk leaves no empty file that a later start would take for data.
    result = Utils::XmlFile::save(dir.filePath("New.tsp"), writeRoot);
    EXPECT_TRUE(result.isError());
    EXPECT_FALSE(QFile::exists(dir.filePath("New.tsp")));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({"Settings.xml"}))
        << "no temporary file is left behind";

    disk.release();
    EXPECT_TRUE(Utils::XmlFile::save(path, writeRoot).isSuccess());
}

TEST(XmlFile, ADamagedFileIsKeptBesideUnderAFreeName)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Userdata.xml");
    for (const char *content : {"garbage 1", "garbage 2"}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        EXPECT_FALSE(Utils::XmlFile::keepDamaged(path).isEmpty());
    }
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_EQ(readAll(path + ".damaged"), "garbage 1");
    EXPECT_EQ(readAll(path + ".damaged-2"), "garbage 2");
    EXPECT_TRUE(Utils::XmlFile::keepDamaged(dir.filePath("none.xml")).isEmpty());
}

} // namespace
