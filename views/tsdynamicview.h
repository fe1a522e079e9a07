// The main window's "dynamic" view: starts and stops the current experiment's dynamic experiment,
// shows whether one is configured, idle or running with its elapsed time and progress (the same
// line goes to the web page), and opens the script editor.
#pragma once

#include <QFrame>
#include <QList>
#include <QMetaObject>
#include <QPointer>
#include <QScopedPointer>

namespace Ui {
class TsDynamicView;
}

class TsExperiment;
class TsExperimentScript;

class TsDynamicView : public QFrame
{
    Q_OBJECT

public:
    explicit TsDynamicView(QWidget *parent = nullptr);
    ~TsDynamicView() override;

protected slots:
    void onNewExperiment(TsExperiment *experiment);
    void updateScriptState(bool running);
    void updateStatus(const QString &status, qreal progress);
    void onDynamicExpChanged(const QString &name);
    // A step failed, or a failed one reached its controller late: the status line says so.
    void onActionNotice();

private slots:
    void on_pushButtonConfig_clicked();

private:
    void setStatusText(const QString &text);

    QScopedPointer<Ui::TsDynamicView> ui;
    QPointer<TsExperimentScript> m_script;
    QString m_statusText;
    // The elapsed time while running: with a step's warning in bold, the line has room for no more.
    QString m_runningText;
    // To the current experiment and its script; dropped when another experiment becomes current.
    QList<QMetaObject::Connection> m_connections;
};
