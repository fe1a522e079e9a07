#include "config/tsstyle.h"

#include <QCoreApplication>
#include <QFile>
#include <QString>
#include <QVariant>

// The sheets (made at build time) and their glyphs live in the static library; its resources must
// be registered by name, and outside any namespace. Registering twice would stack a second copy.
static void initStyleResources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(styles);
        Q_INIT_RESOURCE(stylesheets);
        return true;
    }();
    Q_UNUSED(registered)
}

namespace {
void (*s_follower)() = nullptr;
} // namespace

void setStyleSheetFollower(void (*follower)())
{
    s_follower = follower;
}

void loadStyle(bool light)
{
    initStyleResources();
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || !app->inherits("QApplication"))
        return;
    const QString name = light ? QStringLiteral("light") : QStringLiteral("dark");
    QFile file(QStringLiteral(":/styles/%1-style.css").arg(name));
    if (!file.open(QIODevice::ReadOnly))
        return;
    app->setProperty("styleSheet", QString::fromUtf8(file.readAll()));
    app->setProperty("styleName", name);
    if (s_follower)
        s_follower();
}
