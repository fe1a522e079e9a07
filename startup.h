// What the program does before its main window exists: its identity, the environment and the
// style sheets, and handing over to an instance that already runs.
#pragma once

#include <functional>

class QWidget;
class QtSingleApplication;

// With the demonstration asked for (--demo), the device-access library runs the built-in
// demonstration controllers unless ZDX7000_SIMULATION names a simulation file; without it, the
// variable alone chooses (unset: real USB). Before the library is first used.
void useDemonstrationControllers();

// Organisation, domain, application name, display name and version. Every default-constructed
// QSettings of the program addresses the same store once these are set.
void setApplicationIdentity();

// Message output as the settings key "debugMessages" says (off unless set), the Documents folder
// as working directory, the Users folder of the data root, and the dark style.
void initEnvironment();

// Installs ":/styles/light-style.css" or ":/styles/dark-style.css" as the application's style
// sheet and sets the application's property "styleName"; a missing sheet changes nothing.
void loadStyle(bool light);

// When another instance runs: tells it to come to the front (waiting up to 5 s) and returns true;
// the caller then exits with 0 without creating a window. Returns false for the first instance.
bool handOverToRunningInstance(QtSingleApplication &app);

// The whole start: one instance per user, identity, environment, then the window that
// createMainWindow makes (shown, and brought to the front whenever a later start knocks), the
// event loop, and the window destroyed before the application object. A later start hands over
// and returns 0 without ever calling createMainWindow. Returns the event loop's result.
int runApplication(int &argc, char **argv, const std::function<QWidget *()> &createMainWindow);
