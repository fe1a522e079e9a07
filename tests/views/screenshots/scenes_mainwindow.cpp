// The program's window with every view the profile shows, on the heat unit of the simulation.
#include "screenshotscene.h"

#include "tsmainwindow.h"

TESSARO_SCREENSHOT_SCENE(mainWindow, "mainwindow")
{
    context.useStandardChannels();
    auto *window = new TsMainWindow;
    window->resize(226, 980);
    context.tick(5);
    return window;
}
