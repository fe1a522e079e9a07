// The core's registry of the main window's views. It is part of the window's layer: the core
// object's own code never touches a widget.
#include "tscore.h"

#include <QHash>
#include <QPointer>
#include <QWidget>

namespace {

struct ViewRegistry
{
    QStringList names;
    QHash<QString, QPointer<QWidget>> views;
};

ViewRegistry &registry()
{
    static ViewRegistry views;
    return views;
}

} // namespace

void TsCore::setViews(const QStringList &names, const QHash<QString, QWidget *> &views)
{
    ViewRegistry &r = registry();
    r.names = names;
    r.views.clear();
    for (auto it = views.cbegin(); it != views.cend(); ++it)
        r.views.insert(it.key(), it.value());
}

QStringList TsCore::viewNames()
{
    return registry().names;
}

QWidget *TsCore::view(const QString &name)
{
    return registry().views.value(name);
}
