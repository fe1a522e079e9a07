// The title bar every main-window view carries.
#include "screenshotscene.h"

#include "views/fancylabel.h"

#include <QLabel>
#include <QVBoxLayout>

TESSARO_SCREENSHOT_SCENE(titleBar, "titlebar")
{
    Q_UNUSED(context)
    auto *view = new QFrame;
    view->setFrameShape(QFrame::Box);
    view->setWindowTitle(QStringLiteral("Recorder"));
    view->setFixedWidth(216);
    auto *layout = new QVBoxLayout(view);
    layout->setContentsMargins(1, 1, 1, 1);
    auto *title = new FancyLabel(view);
    title->setFixedHeight(20);
    layout->addWidget(title);
    layout->addWidget(new QLabel(QStringLiteral("Contents of the view"), view));
    return view;
}
