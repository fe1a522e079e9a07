// The main window's "recorder" view: starts and stops the experiment's recorder, shows its running
// time, its progress and any failure to write the file, asks for a file prefix when none is
// configured, edits the session's (temporary) recorder settings and opens the graph window. Its
// status line is also the web page's.
#pragma once

#include <QFrame>
#include <QPointer>
#include <QScopedPointer>
#include <QString>

class TsExperiment;
class TsExperimentRecorder;
class TsRecorderGraphDialog;

namespace Ui {
class TsRecorderView;
}

class TsRecorderView : public QFrame
{
    Q_OBJECT

public:
    explicit TsRecorderView(QWidget *parent = nullptr);
    ~TsRecorderView() override;

    TsRecorderGraphDialog *graphDialog() const;
    // The prefix rule: a valid path, so that a prefix may name a sub-folder.
    static bool isValidPrefix(const QString &prefix);

private slots:
    void on_pushButtonConfig_clicked();

protected slots:
    void onProfileChanged(const QString &name);
    void onNewExperiment(TsExperiment *experiment);
    void updateExperiment();
    void recordingStarting(bool &ok);
    void scriptStarting(bool &ok);
    void recordingStarted();
    void recordingStopped();
    void updateRecordingStatus(const QString &status, int samples);
    void setStatusText(const QString &text);

private:
    // The recorder could not create or write its file: the status line says so at once.
    void onFileError();
    // Progress of the running recording as a fraction, or NaN when it cannot be told.
    double progress() const;

    QScopedPointer<Ui::TsRecorderView> ui;
    QPointer<TsExperiment> m_experiment;
    QPointer<TsExperimentRecorder> m_recorder;
    QPointer<TsRecorderGraphDialog> m_graph;
    // The last status text without the file error, and the running time with its progress while
    // running.
    QString m_statusText;
    QString m_runningText;
};
