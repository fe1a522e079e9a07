// The recorder's graph window: the actual values of the running recording, one line per
// experiment channel on one vertical axis per graph axis of the device specification, against
// absolute or relative time, with zoom and auto-scroll actions. It follows the current experiment,
// rebuilds its axes and lines at every start of recording, and remembers its geometry and
// visibility in the settings store.
#pragma once

#include "experiment/tsexperimentrecording.h"

#include <QList>
#include <QMainWindow>
#include <QScopedPointer>

#include <functional>

class GraphLineSeries;
class GraphVerticalAxis;
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
    ~TsRecorderGraphDialog() override;

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

protected:
    void closeEvent(QCloseEvent *event) override;

private:
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
};
