#include "testenvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>

namespace {
QString s_home;
}

void isolateEnvironment(const QString &home)
{
    s_home = home;
    QDir().mkpath(home + QStringLiteral("/Documents"));
    qputenv("HOME", home.toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home + QStringLiteral("/config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", (home + QStringLiteral("/share")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (home + QStringLiteral("/cache")).toLocal8Bit());
    QStandardPaths::setTestModeEnabled(true);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

void settleIdentityAndDataPath(const QString &home)
{
    QCoreApplication::setOrganizationName(QStringLiteral("Varon"));
    QCoreApplication::setApplicationName(QStringLiteral("Tessaro"));
    QSettings().setValue(QStringLiteral("dataPath"), home + QStringLiteral("/data"));
}

QString testHome()
{
    return s_home;
}

void startTestCaseAsChild(QProcess &child, const char *name, const QString &value,
                          const QString &filter)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(name), value);
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=") + filter});
}
