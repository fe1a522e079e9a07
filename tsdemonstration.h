// The demonstration the program brings along: the user "Demo" whose profile "Demo" holds every
// channel of the controllers found (and of those plugged in later), a five-step dynamic experiment,
// a recording under way and the web page. The window-less program always shows it; the desktop
// program with --demo.
#pragma once

#include <functional>

class QObject;
class TsWebInterfaceManager;

namespace TsDemonstration {

// The user and the profile, made when missing, and made current.
void ensureUserAndProfile();
// A controller found later joins the profile and the running experiment.
void followNewControllers(QObject *context);
// On top of what the configuration manager restored: user, profile, dynamic experiment, a
// recording under way and the web page started.
void setUp();

// Reports once whether the web page came up: at once when the start is already decided, else when
// nginx listens or has failed; the start never holds up the event loop.
void whenWebPageKnown(TsWebInterfaceManager *web, QObject *context,
                      const std::function<void(bool up)> &report);

} // namespace TsDemonstration
