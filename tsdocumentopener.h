// Opens a local document with the desktop's program for its type, and says when none took it.
#pragma once

#include <functional>

class QObject;
class QString;

namespace TsDocumentOpener {

// `failed` is called (on the event loop, while `context` lives) when no program opened `path`.
// On the X11 desktops Qt only knows that the desktop's opener started; xdg-open finds out later
// that no program takes the type, and ends with an error nobody would see. There xdg-open is run
// here and its end is watched.
void open(const QString &path, QObject *context, std::function<void()> failed);

} // namespace TsDocumentOpener
