// Shows every registered scene under a real X server (Xvfb, started by scripts/screenshots) in the
// dark and the light style and saves what the X server shows of its window.
//   tessaro_screenshots [--list] [OUTPUT_FOLDER] [SCENE...]
#include "screenshotscene.h"

#include "testenvironment.h"
#include "startup.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMap>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include <cstdio>
#include <memory>

namespace screenshots {

namespace {

QMap<QString, SceneFactory> &registry()
{
    static QMap<QString, SceneFactory> scenes;
    return scenes;
}

// Lets queued work, layouts and the X server's drawing finish before the picture is taken.
void settle(QWidget *widget)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 300) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QCoreApplication::sendPostedEvents();
    }
    widget->repaint();
    QCoreApplication::processEvents();
}

bool photograph(const QString &name, const SceneFactory &factory, bool light, const QString &out)
{
    loadStyle(light);
    Context context;
    std::unique_ptr<QWidget> widget(factory(context));
    if (!widget) {
        std::fprintf(stderr, "%s: the scene made no widget\n", qPrintable(name));
        return false;
    }
    widget->move(16, 16);
    widget->show();
    if (!QTest::qWaitForWindowExposed(widget.get(), 5000)) {
        std::fprintf(stderr, "%s: the window was never shown\n", qPrintable(name));
        return false;
    }
    settle(widget.get());
    QScreen *screen = widget->windowHandle() ? widget->windowHandle()->screen() : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    // What the X server has on screen for this window, not what the widget would render.
    const QPixmap shot = screen->grabWindow(widget->winId());
    const QString file =
        QStringLiteral("%1/%2-%3.png")
            .arg(out, name, light ? QStringLiteral("light") : QStringLiteral("dark"));
    if (shot.isNull() || !shot.save(file)) {
        std::fprintf(stderr, "%s: cannot write %s\n", qPrintable(name), qPrintable(file));
        return false;
    }
    std::printf("%s (%dx%d)\n", qPrintable(file), shot.width(), shot.height());
    return true;
}

// The program's debug lines would drown the list of pictures; warnings still show.
void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        std::fprintf(stderr, "%s\n", qPrintable(text));
}

} // namespace

bool registerScene(const QString &name, const SceneFactory &factory)
{
    registry().insert(name, factory);
    return true;
}

} // namespace screenshots

int main(int argc, char **argv)
{
    QTemporaryDir home;
    if (!home.isValid())
        return 2;
    isolateEnvironment(home.path());
    qInstallMessageHandler(screenshots::quietMessages);
    QApplication app(argc, argv);
    settleIdentityAndDataPath(home.path());
    ::testing::InitGoogleTest(&argc, argv);

    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.value(0) == QLatin1String("--list")) {
        for (const QString &name : screenshots::registry().keys())
            std::printf("%s\n", qPrintable(name));
        return 0;
    }
    const QString out = args.isEmpty() ? QStringLiteral("screenshots") : args.takeFirst();
    if (!QDir().mkpath(out)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(out));
        return 1;
    }
    int failures = 0;
    int taken = 0;
    const auto &scenes = screenshots::registry();
    for (auto it = scenes.cbegin(); it != scenes.cend(); ++it) {
        if (!args.isEmpty() && !args.contains(it.key()))
            continue;
        for (bool light : {false, true}) {
            if (screenshots::photograph(it.key(), it.value(), light, out))
                ++taken;
            else
                ++failures;
        }
    }
    if (taken == 0 && failures == 0) {
        std::fprintf(stderr, "no scene matched\n");
        return 1;
    }
    return failures == 0 ? 0 : 1;
}
