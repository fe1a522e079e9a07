// What the program does before its main window exists: its identity, the environment and the
// style sheets, and handing over to an instance that already runs.
#pragma once

#include <QString>

#include <functional>

class QProcessEnvironment;
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

// What becomes of the program's diagnostic messages. One message handler decides for both ways of
// running; what it lets through is written as Qt writes it (to standard error here, in the form
// QT_MESSAGE_PATTERN gives), and the reason for a fatal error always is.
enum class MessageOutput
{
    None,        // the desktop program unless "debugMessages" is set
    AllButDebug, // the window-less program: warnings and worse, and information
    All,         // "debugMessages" set, or the window-less program's --verbose
};
// Installs the handler (again, should another have taken its place) with output as its rule.
void setMessageOutput(MessageOutput output);

// Message output as the settings key "debugMessages" says (off unless set), the Documents folder
// as working directory, the Users folder of the data root, and the dark style.
void initEnvironment();

// loadStyle(bool light): the style sheets, which the configuration manager applies too.
#include "config/tsstyle.h"

// What a later start asks of the running instance, as one message over the single-instance
// channel. A plain start sends the empty message, which every version of the program takes as
// "come to the front". A recording to open travels as "open-recording", a line feed, and its
// absolute path as the rest of the message: the channel frames each message by its length, so the
// path is written as it is and any character a file name can hold (spaces, quotes, line feeds,
// any script) arrives unchanged.
struct StartRequest
{
    // Absolute path of a recording to open beside the main window; empty: only come to the front.
    QString recording;

    QString toMessage() const;
    // A message the running instance does not understand, or a path that is not absolute (it
    // would be taken against the wrong working folder), asks only to come to the front.
    static StartRequest fromMessage(const QString &message);
};

enum class HandOver
{
    FirstInstance, // no other instance runs: this one goes on
    Delivered,
    Undelivered, // another instance runs but did not take the request within 5 s
};

// When another instance runs: hands it request (waiting up to 5 s for its receipt); the caller
// then ends without creating a window.
HandOver handOverToRunningInstance(QtSingleApplication &app, const StartRequest &request = {});

// The whole start: one instance per user, identity, environment, then the window that
// createMainWindow makes (shown, and brought to the front whenever a later start knocks), the
// event loop, and the window destroyed before the application object. The recording of request,
// and those that later starts hand over, open beside the window one after another, once the
// user's profile is loaded. A later start hands request over without ever calling
// createMainWindow and returns 0, or 1 with the reason on standard error when a recording to open
// did not reach the running instance (a plain start returns 0 even then: there was nothing to
// lose). Returns the event loop's result otherwise.
int runApplication(int &argc, char **argv, const std::function<QWidget *()> &createMainWindow,
                   const StartRequest &request = {});
