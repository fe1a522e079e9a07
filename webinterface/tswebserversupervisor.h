// nginx as the web interface's child: its configuration made from the installation's template,
// its runtime folder (with the stale ones of killed runs cleared away), its start, its watch and
// its restarts with back-off, and its stop. Nothing here waits on the event loop's thread for nginx
// to come up or to end at a start: the outcome is announced when it is known, so that the sampling
// tick keeps its rhythm while nginx tries a taken port.
#pragma once

#include <QDir>
#include <QObject>
#include <QScopedPointer>
#include <QString>
#include <QStringList>

struct TsWebInterfaceSettings;

class TsWebServerSupervisor : public QObject
{
    Q_OBJECT

public:
    static constexpr int StopWait = 5000; // ms for "nginx -s stop"
    static constexpr int KillWait = 1000; // ms
    // How long a start waits for nginx to listen (it tries a taken port for 2.5 s) or to end.
    static constexpr int StartWait = 6000; // ms
    // How often a start looks for nginx's pid file.
    static constexpr int StartPollInterval = 20; // ms
    // An nginx that ran this long without ending is well again: its restarts count from zero.
    static constexpr int StableAfter = 60000; // ms

    explicit TsWebServerSupervisor(QObject *parent = nullptr);
    ~TsWebServerSupervisor() override;

    // The program's folder + "/webserver" unless set otherwise (before start).
    QString webServerDir() const;
    void setWebServerDir(const QString &dir);
    // The folder of the pages and page templates: webServerDir() + "/html".
    QString htmlDir() const;
    // The nginx found for the current folder: the one beside the program first, then the system's.
    QString nginxExe() const;
    // Holds nginx's pid file, logs and temporary folders while nginx runs or starts; empty else.
    QString runtimeDir() const;
    // Waits before each restart of an nginx that ended unexpectedly; after the last, it is given
    // up. Default 1, 2, 5, 10 and 30 s.
    void setRestartDelays(const QList<int> &milliseconds);

    // From start() until stop(), also while nginx comes up or is being restarted; false after a
    // start that failed and once restarting is given up.
    bool isActive() const;
    // Between start() and the moment nginx listens or has failed.
    bool isStarting() const;
    // Why nginx does not serve (its own error line where it gave one); empty while it serves.
    QString errorString() const;

    // Prepares the configuration and starts nginx. What fails before nginx runs is announced
    // before this returns; nginx listening (started()) or ending (failed()) later.
    void start(const TsWebInterfaceSettings &settings);
    void stop();

    // nginx's configuration from the template's text: ports, the served folder (holding "html")
    // and the runtime folder, paths written as nginx reads them inside quotes on a platform with
    // the given separator.
    static QByteArray nginxConfiguration(const QByteArray &templateText,
                                         const TsWebInterfaceSettings &settings,
                                         const QString &servedDir, const QString &runtimeDir,
                                         QChar nativeSeparator = QDir::separator());
    static QByteArray nginxPath(const QString &path, QChar nativeSeparator = QDir::separator());
    // The command line that starts nginx on a configuration file, or that stops it.
    static QStringList nginxArguments(const QString &configFile, bool stop = false);

signals:
    // nginx listens on its ports after start().
    void started();
    // A start failed or restarting was given up: nginx is not running and not tried again.
    void failed(const QString &message);
    // nginx ended unexpectedly and is restarted after a delay; the message says so.
    void restarting(const QString &message);
    // nginx serves again after a restart.
    void restarted();

private:
    void onOutput();
    void onFinished();
    // One look at the pid file while nginx comes up.
    void pollStart();
    // nginx came up (true) or ended or never listened (false) after a launch.
    void launchDone(bool up);
    void launch();
    void restart();
    // Restarts after the next delay, or gives up when the delays are used up.
    void scheduleRestart(const QString &what);
    // Says why nginx does not serve and leaves everything stopped.
    void fail(const QString &message);
    // A path for the configuration: as it is, or through a link in the runtime folder when
    // nginx could not take it (it has no escape for "$"); empty, with why, when neither works.
    QString configurablePath(const QString &path, const QString &linkName, QString *why) const;

    struct Private;
    QScopedPointer<Private> d;
};
