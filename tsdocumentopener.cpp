#include "tsdocumentopener.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

namespace TsDocumentOpener {

void open(const QString &path, QObject *context, std::function<void()> failed)
{
    const auto fail = [context, failed] { QTimer::singleShot(0, context, failed); };
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (!opener.isEmpty()) {
        // Without a parent: where xdg-open waits for the viewer, a window closed meanwhile must
        // not take the viewer along, and the process object goes when xdg-open ends.
        auto *process = new QProcess;
        process->setProgram(opener);
        process->setArguments({path});
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setStandardErrorFile(QProcess::nullDevice());
        QObject::connect(process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished),
                         process, &QObject::deleteLater);
        QObject::connect(process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished),
                         context, [failed](int exitCode, QProcess::ExitStatus status) {
                             if (status != QProcess::NormalExit || exitCode != 0)
                                 failed();
                         });
        // A process that does not start never finishes.
        QObject::connect(process, &QProcess::errorOccurred, process,
                         [process](QProcess::ProcessError error) {
                             if (error == QProcess::FailedToStart)
                                 process->deleteLater();
                         });
        QObject::connect(process, &QProcess::errorOccurred, context,
                         [failed](QProcess::ProcessError error) {
                             if (error == QProcess::FailedToStart)
                                 failed();
                         });
        process->start();
        return;
    }
#endif
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        fail();
}

} // namespace TsDocumentOpener
