// The recorder's graph window: the actual values of the running recording, one line per
// experiment channel on one vertical axis per graph axis of the device specification, against
// absolute or relative time, with zoom and auto-scroll actions. It follows the current experiment,
// rebuilds its axes and lines at every start of recording, and remembers its geometry and
// visibility in the settings store.
//
// A recording read from a file opens in a window of the same kind beside it: the same axes and
// colours where its channels are known, the legend, zoom, marker and relative or absolute time,
// but no auto scroll and no settings of its own. Both export what they show: the view as a PNG,
// SVG or PDF file, the samples of the visible time range as a CSV file that opens again here.
#pragma once

#include "experiment/tsexperimentrecording.h"
#include "experiment/tsrecordingreader.h"
#include "utils/qxresult.h"

#include <QList>
#include <QMainWindow>
#include <QScopedPointer>

#include <functional>

class GraphLineSeries;
class GraphVerticalAxis;
struct GraphAxisSpec;
class GraphWidget;
class TsExperiment;

namespace Ui {
class TsRecorderGraphDialog;
}

class TsRecorderGraphDialog : public QMainWindow
{
    Q_OBJECT

public:
    // Reads "graphGeometry" and "graphVisible"; a window that was open at the last quit opens
    // again ShowDelay ms later.
    static constexpr int ShowDelay = 100;
    // Bounds of one zoom step of the time axis, and the widest window that may still grow.
    static constexpr qint64 MinZoomStep = 60000;
    static constexpr qint64 MaxZoomStep = 345600000;    // four days
    static constexpr qint64 MaxZoomOutSpan = 604800000; // seven days
    // Each line series carries the index of the recorder's column group it plots.
    static constexpr const char *CaptureIndexProperty = "captureIndex";

    explicit TsRecorderGraphDialog(QWidget *parent = nullptr);
    // A window of its own for a recording read from a file; it deletes itself when closed.
    explicit TsRecorderGraphDialog(TsRecording &&recording, QWidget *parent = nullptr);
    ~TsRecorderGraphDialog() override;

    // Reads the file behind a progress dialog that can cancel it, says why when it cannot be
    // shown and which lines were skipped as damaged, and shows it in a window of its own placed
    // beside `beside` (when given). Null when nothing was opened.
    static TsRecorderGraphDialog *openRecording(const QString &path, QWidget *beside = nullptr);
    // The file the window shows; empty for the live window.
    QString recordingPath() const { return m_path; }
    bool showsPastRecording() const { return !m_path.isEmpty(); }

    // The view as a picture (by the suffix: png, svg or pdf), and the samples of the visible time
    // range in the recorder's own CSV form.
    QxResult exportView(const QString &path);
    QxResult exportVisibleSamples(const QString &path) const;

    GraphWidget *graph() const;
    QList<GraphVerticalAxis *> axes() const;
    QList<GraphLineSeries *> lines() const;

    // Milliseconds since the epoch; the default reads the real clock. The time range starts at
    // "now" when a recording starts.
    void setClock(const std::function<qint64()> &now);

public slots:
    // The first call honours "graphMaximized"; every call restores a minimized window.
    void show();
    void onNewExperiment(TsExperiment *experiment);
    void updateChannels();
    void recordingStarted();
    void recordingStopped();
    void recordSample(TsExperimentRecording::Sample *sample);
    // The operator zoomed or panned with the mouse: auto scroll of those axes goes off.
    void graphZoomed(int flags);
    void on_actionZoom_In_triggered();
    void on_actionZoom_In_Fine_triggered();
    void on_actionZoom_Out_triggered();
    void on_actionZoom_Out_fine_triggered();
    void on_actionRelative_Absolute_triggered();
    void on_actionScrollTimeAxis_triggered(bool checked);
    void on_actionScrollYAxes_triggered(bool checked);
    void on_actionOpen_Recording_triggered();
    void on_actionExport_View_triggered();
    void on_actionExport_Samples_triggered();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void setUpWindow();
    void showRecording(TsRecording &&recording);
    GraphVerticalAxis *makeAxis(const GraphAxisSpec &spec);
    // Where file choosers start: the folder of the shown file, else the user's log folder.
    QString startFolder() const;
    // An export's file: the shown file's name (or "graph") with `ending`, in startFolder().
    QString suggestedFile(const QString &ending) const;
    void resetTimeRange();
    // Moves the time axis's maximum by delta (clamped to one zoom step) when the window allows.
    void zoomTime(bool in, double divisor);
    void saveSettings(bool visible);

    QScopedPointer<Ui::TsRecorderGraphDialog> ui;
    struct Graph
    {
        GraphWidget *widget = nullptr;
        QList<GraphVerticalAxis *> axes;
        QList<GraphLineSeries *> lines;
    } m_graph;
    bool m_firstShow = true;
    std::function<qint64()> m_now;
    QString m_path;
};
