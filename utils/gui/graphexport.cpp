#include "utils/gui/graphexport.h"

#include "utils/gui/graphwidget.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QSvgGenerator>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("GraphExport", text);
}

} // namespace

QStringList GraphExport::suffixes()
{
    return {QStringLiteral("png"), QStringLiteral("svg"), QStringLiteral("pdf")};
}

QString GraphExport::save(GraphWidget *graph, const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    const QSize size = graph->size();
    // Written beside and put in place when complete: a failed export never leaves half a file
    // where an earlier one was.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return tr("'%1' cannot be written: %2").arg(path, file.errorString());

    if (suffix == QLatin1String("png")) {
        const qreal ratio = graph->devicePixelRatioF();
        QImage image(size * ratio, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::white);
        graph->render(&image);
        if (!image.save(&file, "PNG"))
            return tr("'%1' cannot be written: %2").arg(path, file.errorString());
    } else if (suffix == QLatin1String("svg")) {
        QSvgGenerator svg;
        svg.setOutputDevice(&file);
        svg.setSize(size);
        svg.setResolution(graph->logicalDpiX());
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle(graph->window()->windowTitle());
        QPainter painter(&svg);
        graph->render(&painter);
    } else if (suffix == QLatin1String("pdf")) {
        QPdfWriter pdf(&file);
        pdf.setTitle(graph->window()->windowTitle());
        pdf.setCreator(QCoreApplication::applicationName());
        // One page of the graph's own proportions, at 96 dots an inch.
        pdf.setResolution(96);
        pdf.setPageSize(QPageSize(QSizeF(size) / 96.0, QPageSize::Inch));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter painter(&pdf);
        graph->render(&painter);
        if (!painter.end())
            return tr("'%1' cannot be written.").arg(path);
    } else {
        file.cancelWriting();
        return tr("'%1' is neither a PNG, an SVG nor a PDF file.").arg(path);
    }
    if (!file.commit())
        return tr("'%1' cannot be written: %2").arg(path, file.errorString());
    return QString();
}
