// The settings dialog on both of its pages and the update check with a newer release.
#include "screenshotscene.h"

#include "dialogs/tsaboutdialog.h"
#include "dialogs/tssettingsdialog.h"
#include "dialogs/tsupdatechecker.h"
#include "dialogs/tsupdatedialog.h"
#include "mailer/tsmailermanager.h"
#include "tscore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTabWidget>
#include <QTextBrowser>

namespace {

TsSettingsDialog *settingsDialog(int page)
{
    TsMailerSettings mail = TsCore::mailerManager()->mailerSettings();
    mail.setSmtpServer(QStringLiteral("smtp.lab.example"));
    mail.setSmtpPort(587);
    mail.setEncryption(TsMailerSettings::StartTls);
    mail.setSenderEmail(QStringLiteral("scope2@lab.example"));
    mail.setSmtpUser(QStringLiteral("scope2"));
    mail.setSmtpPassword(QStringLiteral("secret"));
    TsCore::mailerManager()->setMailerSettings(mail);
    auto *dialog = new TsSettingsDialog;
    dialog->findChild<QTabWidget *>(QStringLiteral("tabWidget"))->setCurrentIndex(page);
    return dialog;
}

} // namespace

// Its licence link must read on either style's window.
TESSARO_SCREENSHOT_SCENE(about, "about")
{
    Q_UNUSED(context)
    return new TsAboutDialog;
}

TESSARO_SCREENSHOT_SCENE(settingsWebServer, "settings-webserver")
{
    Q_UNUSED(context)
    return settingsDialog(0);
}

TESSARO_SCREENSHOT_SCENE(settingsEmail, "settings-email")
{
    Q_UNUSED(context)
    return settingsDialog(1);
}

// The update page from a file, without release notes (they only come over the web); the scene
// puts notes in their place as their request would.
TESSARO_SCREENSHOT_SCENE(updateNewer, "update-newer")
{
    Q_UNUSED(context)
    const QString page = QDir::tempPath() + QStringLiteral("/tessaro-screenshot-update.html");
    QFile file(page);
    if (file.open(QIODevice::WriteOnly))
        file.write("<html><head>\n<meta name=\"current-version\" content=\"1.2.0.0; "
                   "url=https://www.varon.example/tessaro/setup-1.2.0.0.exe\">\n"
                   "</head></html>\n");
    QSettings().setValue(QLatin1String(TsUpdateChecker::UpdatePageUrlKey), page);
    QCoreApplication::setApplicationVersion(QStringLiteral("1.1.0.0"));
    auto *dialog = new TsUpdateDialog;
    dialog->check();
    dialog->findChild<QTextBrowser *>(QStringLiteral("textBrowserReleaseNotes"))
        ->setHtml(QStringLiteral("<h3>Tessaro 1.2</h3><ul><li>Graphs follow the newest values "
                                 "without jumping.</li><li>Alert mails name the profile.</li>"
                                 "<li>The web page works on phones.</li></ul>"));
    return dialog;
}
