// What the program does before its main window exists: its identity, the environment and the
// style sheets, and handing over to an instance that already runs.
#pragma once

#include <functional>

class QProcessEnvironment;
class QString;
class QWidget;
class QtSingleApplication;

enum class HostSystem
{
    Windows,
    MacOS,
    Other // X11 or Wayland desktops
};

// The system the program was built for.
HostSystem hostSystem();

// Whether the program can open its window. Windows and macOS always have a desktop for the user who
// runs the program; elsewhere it takes an X or Wayland display, unless QT_QPA_PLATFORM names a
// platform that draws without one (offscreen, a framebuffer).
bool hasDisplay(HostSystem system, const QProcessEnvironment &environment);
// The same for this program in its environment.
bool hasDisplay();

// Keeps the settings store in a file under home/settings and the data under home/data, on every
// system: Windows' own store, the registry (and macOS' preferences), would otherwise take the
// settings, and with them "dataPath", of the operator's normal runs. Elsewhere the native store is
// that file already ("Varon/Tessaro.conf") and stays so. Call before anything reads the store.
void keepSettingsUnder(const QString &home, HostSystem system = hostSystem());

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
