#include "views/tsstylepalette.h"

#include <QApplication>
#include <QEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

void TsStylePalette::followStyleSheet()
{
    auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
    if (!app)
        return;
    static TsStylePalette *filter = nullptr;
    if (!filter) {
        filter = new TsStylePalette(app);
        app->installEventFilter(filter);
    }
    // The accent is the sheet's selection colour, which every polished widget carries.
    QWidget probe;
    probe.ensurePolished();
    QPalette palette = QApplication::palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const QColor accent = probe.palette().color(group, QPalette::Highlight);
        palette.setColor(group, QPalette::Link, accent);
        palette.setColor(group, QPalette::LinkVisited, accent);
    }
    QApplication::setPalette(palette);
}

void TsStylePalette::tintPlaceholder(QWidget *widget)
{
    if (!qobject_cast<QLineEdit *>(widget) && !qobject_cast<QTextEdit *>(widget) &&
        !qobject_cast<QPlainTextEdit *>(widget))
        return;
    QPalette palette = widget->palette();
    bool changed = false;
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const QColor text = palette.color(group, QPalette::Text);
        const QColor field = palette.color(group, QPalette::Base);
        const QColor halfway((text.red() + field.red()) / 2, (text.green() + field.green()) / 2,
                             (text.blue() + field.blue()) / 2);
        if (palette.color(group, QPalette::PlaceholderText) != halfway) {
            palette.setColor(group, QPalette::PlaceholderText, halfway);
            changed = true;
        }
    }
    // Comparing first ends the round: setting the palette announces a palette change again.
    if (changed)
        widget->setPalette(palette);
}

bool TsStylePalette::eventFilter(QObject *watched, QEvent *event)
{
    // The sheet sets its colours when it polishes a widget, and again on every change of style.
    if ((event->type() == QEvent::Polish || event->type() == QEvent::PaletteChange) &&
        watched->isWidgetType())
        tintPlaceholder(static_cast<QWidget *>(watched));
    return false;
}
