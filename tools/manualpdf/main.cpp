// Makes the user manual's PDF from its Markdown source at build time, with the toolkit's own
// text layout and PDF writer, so that the manual needs nothing the program does not.
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPdfWriter>
#include <QTextDocument>

#include <cstdio>

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 3) {
        std::fprintf(stderr, "usage: manualpdf SOURCE.md OUTPUT.pdf\n");
        return 2;
    }
    QFile source(arguments.at(1));
    if (!source.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "manualpdf: %s: %s\n", qPrintable(source.fileName()),
                     qPrintable(source.errorString()));
        return 1;
    }
    QTextDocument document;
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(10.5);
    document.setDefaultFont(font);
    document.setMarkdown(QString::fromUtf8(source.readAll()));

    // Written beside and renamed, so that a failed run never leaves a half manual behind.
    const QString output = arguments.at(2);
    const QString partial = output + QStringLiteral(".part");
    {
        QPdfWriter writer(partial);
        writer.setTitle(QStringLiteral("Tessaro — User Manual"));
        writer.setCreator(QStringLiteral("Tessaro"));
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter));
        writer.setResolution(300);
        document.print(&writer);
    }
    QFile::remove(output);
    if (!QFile::rename(partial, output)) {
        std::fprintf(stderr, "manualpdf: cannot write %s\n", qPrintable(output));
        return 1;
    }
    return 0;
}
