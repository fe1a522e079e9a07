// The program's window at its default size with every view the profile shows, on the heat unit
// of the simulation.
#include "screenshotscene.h"

#include "tsmainwindow.h"

TESSARO_SCREENSHOT_SCENE(mainWindow, "mainwindow")
{
    context.useStandardChannels();
    auto *window = new TsMainWindow;
    context.tick(5);
    return window;
}
