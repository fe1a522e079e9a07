// What the program does before its main window exists: its identity, the environment and the
// style sheets, and handing over to an instance that already runs.
#pragma once

#include <functional>

class QWidget;
class QtSingleApplication;

// Organisation, domain, application name, display name and version. Every default-constructed
// QSettings of the program addresses the same store once these are set.
void setApplicationIdentity();

// Message output as the settings key "debugMessages" says (off unless set), the Documents folder
// as working directory, the Users folder of the data root, and the dark style.
void initEnvironment();

// loadStyle(bool light): the style sheets, which the configuration manager applies too.
#include "config/tsstyle.h"

// When another instance runs: tells it to come to the front (waiting up to 5 s) and returns true;
// the caller then exits with 0 without creating a window. Returns false for the first instance.
bool handOverToRunningInstance(QtSingleApplication &app);

// The whole start: one instance per user, identity, environment, then the window that
// createMainWindow makes (shown, and brought to the front whenever a later start knocks), the
// event loop, and the window destroyed before the application object. A later start hands over
// and returns 0 without ever calling createMainWindow. Returns the event loop's result.
int runApplication(int &argc, char **argv, const std::function<QWidget *()> &createMainWindow);
