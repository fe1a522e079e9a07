// Renders one of the application's SVG icons to a PNG at build time:
//   tessaro_iconrender SOURCE.svg TARGET.png WIDTH HEIGHT
// The picture is scaled to fill the size whatever the source's view box.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s SOURCE.svg TARGET.png WIDTH HEIGHT\n", argv[0]);
        return 2;
    }
    // No display at build time.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString source = QString::fromLocal8Bit(argv[1]);
    const QString target = QString::fromLocal8Bit(argv[2]);
    bool widthOk = false;
    bool heightOk = false;
    const int width = QByteArray(argv[3]).toInt(&widthOk);
    const int height = QByteArray(argv[4]).toInt(&heightOk);
    if (!widthOk || !heightOk || width < 1 || height < 1 || width > 4096 || height > 4096) {
        std::fprintf(stderr, "%s: bad size %s x %s\n", argv[0], argv[3], argv[4]);
        return 2;
    }
    QSvgRenderer renderer(source);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[1]);
        return 1;
    }
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, width, height));
    }
    if (!image.save(target, "PNG")) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[2]);
        return 1;
    }
    return 0;
}
