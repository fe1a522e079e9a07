// Writes what a graph widget shows into a file: a PNG picture at the widget's size (and its
// screen's pixel ratio), an SVG drawing or a one-page PDF document, chosen by the file's suffix.
#pragma once

#include <QString>
#include <QStringList>

class GraphWidget;

class GraphExport
{
public:
    // "png", "svg", "pdf".
    static QStringList suffixes();
    // An empty text on success, else why the file was not written.
    static QString save(GraphWidget *graph, const QString &path);
};
