// Publishes the running experiment to web browsers: the web server (nginx, supervised by
// TsWebServerSupervisor) forwards the page scripts over FastCGI to the program's responder, and
// TsWebPageRenderer answers them. This is where the settings live and the two meet.
#pragma once

#include <QObject>
#include <QScopedPointer>
#include <QString>

class FCGIRequest;
class TsEmailAlertSwitch;

struct TsWebInterfaceSettings
{
    bool autoStart = false;
    QString serverName; // for alert mails only; never persisted
    QString publicUrl;
    quint16 httpPort = 0;
    quint16 fcgiPort = 0;
};

class TsWebInterfaceManager : public QObject
{
    Q_OBJECT

public:
    static constexpr int AutoStartDelay = 1500; // ms

    explicit TsWebInterfaceManager(QObject *parent = nullptr);
    ~TsWebInterfaceManager() override;

    TsWebInterfaceSettings settings() const;
    // Saves the persisted keys at once; a running interface keeps its ports until restarted.
    void setSettings(const TsWebInterfaceSettings &settings);
    static TsWebInterfaceSettings defaultSettings();

    // True from start() until stop(), also while nginx comes up or is being restarted; false
    // after a start that failed and once restarting is given up.
    bool isRunning() const;
    // Between start() and the moment nginx listens (webServerStarted()) or has failed
    // (webServerError()).
    bool isStarting() const;
    // Why the web page is not available (nginx's own error line where it gave one); empty while
    // nginx serves and before any start.
    QString errorString() const;
    // Waits before each restart of an nginx that ended unexpectedly; after the last, the web
    // interface gives up. Default 1, 2, 5, 10 and 30 s.
    void setRestartDelays(const QList<int> &milliseconds);

    // The program's folder + "/webserver" unless set otherwise (before start).
    QString webServerDir() const;
    void setWebServerDir(const QString &dir);
    // The nginx found for the current folder: the one beside the program first, then the system's.
    QString nginxExe() const;
    // Holds nginx's pid file, logs and temporary folders while the interface runs; empty when
    // stopped.
    QString runtimeDir() const;

    // The mailer manager's alert switch, which a browser may arm; not owned, null for none.
    void setEmailAlertSwitch(TsEmailAlertSwitch *alertSwitch);

    // Answers one page request; the FastCGI server calls it for every request.
    void handleRequest(FCGIRequest *request);

    // Texts placed into a page: HTML escaping for element content and quoted attributes, and
    // the variant for a single-quoted string in a script inside a quoted attribute.
    static QString htmlEscaped(const QString &text);
    static QString jsEscaped(const QString &text);

public slots:
    // Returns at once: nginx's own start is watched from the event loop, and its outcome is
    // announced by webServerStarted() or webServerError().
    void start();
    void stop();

signals:
    // nginx listens after start().
    void webServerStarted();
    // nginx could not be started, ended unexpectedly (and is restarted), or was given up; the
    // message says which and why. errorString() holds it meanwhile.
    void webServerError(const QString &message);
    // nginx serves again after a restart.
    void webServerRestarted();

private:
    // Says why the interface does not serve and leaves it stopped.
    void failStart(const QString &message);

    struct Private;
    QScopedPointer<Private> d;
};
