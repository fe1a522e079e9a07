// The desktop dock on Windows: the shell's application bars, through SHAppBarMessage on the
// dock's record, and the window messages that concern a bar.
#pragma once

#include "utils/gui/desktopdockplatform.h"

class DesktopDockWin : public DesktopDockPlatform
{
    Q_OBJECT

public:
    using DesktopDockPlatform::DesktopDockPlatform;

    bool message(Message message, AppBarData &data) override;
    // Every message of the application counts, whichever window it is for.
    Notification notification(const QByteArray &eventType, void *message) const override;
};
