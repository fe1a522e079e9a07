#include "utils/xmlfile.h"

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

} // namespace
