// nginx's configuration and command line as the supervisor makes them from the installation's
// template, checked by the real nginx.
#include "support/webtestsupport.h"

#include "webinterface/tswebinterfacemanager.h"
#include "webinterface/tswebserversupervisor.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

constexpr int WaitMs = 5000;

using webtest::freePort;

TEST(WebServerConfigurationTest, PathsAreWrittenAsNginxReadsThem)
{
    QFile tmpl(QCoreApplication::applicationDirPath() + "/webserver/conf/nginx.conf.tmpl");
    ASSERT_TRUE(tmpl.open(QIODevice::ReadOnly));
    const QByteArray text = tmpl.readAll();
    TsWebInterfaceSettings settings;
    settings.httpPort = freePort();
    settings.fcgiPort = freePort();

    // Windows: "\t" of "\Temp\tessaro-web" and "\n" would be read as a tab and a line break.
    const QByteArray windows = TsWebServerSupervisor::nginxConfiguration(
        text, settings, R"(C:\Program Files\Tessaro\webserver)",
        R"(C:\Users\nina\AppData\Local\Temp\tessaro-web-a1)", QLatin1Char('\\'));
    EXPECT_TRUE(
        windows.contains("pid \"C:/Users/nina/AppData/Local/Temp/tessaro-web-a1/nginx.pid\";"));
    EXPECT_TRUE(windows.contains("error_log \"C:/Users/nina/AppData/Local/Temp/tessaro-web-a1/logs/"
                                 "error.log\""));
    EXPECT_TRUE(windows.contains("root \"C:/Program Files/Tessaro/webserver/html\";"));
    for (const QByteArray &line : windows.split('\n')) {
        if (line.contains("C:"))
            EXPECT_FALSE(line.contains('\\')) << line.constData();
    }

    // Here a backslash or a quote is part of a name: the real nginx must find that very folder.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString runtime = dir.path() + "/run\\tme \"x\"";
    for (const char *folder : {"logs", "client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
        ASSERT_TRUE(QDir().mkpath(runtime + "/" + folder));
    const QString served = QCoreApplication::applicationDirPath() + "/webserver";
    QFile config(dir.path() + "/nginx.conf");
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write(TsWebServerSupervisor::nginxConfiguration(text, settings, served, runtime));
    config.close();
    TsWebServerSupervisor supervisor;
    ASSERT_FALSE(supervisor.nginxExe().isEmpty());
    QProcess check;
    check.setProcessChannelMode(QProcess::MergedChannels);
    QStringList arguments = TsWebServerSupervisor::nginxArguments(config.fileName());
    EXPECT_EQ(arguments, QStringList({"-c", config.fileName()})) << "nothing an older build lacks";
    check.start(supervisor.nginxExe(), QStringList{"-t"} + arguments);
    ASSERT_TRUE(check.waitForFinished(WaitMs));
    const QByteArray output = check.readAll();
    EXPECT_EQ(check.exitCode(), 0) << output.constData();
    EXPECT_TRUE(QFileInfo::exists(runtime + "/logs/error.log")) << output.constData();
    EXPECT_EQ(TsWebServerSupervisor::nginxArguments("n.conf", true),
              QStringList({"-c", "n.conf", "-s", "stop"}));
}

} // namespace
