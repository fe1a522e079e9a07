// Builds only where the window's layer is linked: code that reaches a view without including its
// header (a declaration of its own) compiles on the core layer, but the linker finds no view there.
#include "experiment/tsexperimentchannel.h"

#include <QString>

class TsChannelWidget
{
public:
    static QString backgroundColor(int statusIndex);
};

int main()
{
    return TsChannelWidget::backgroundColor(int(TsChannelState::Green)).isEmpty() ? 1 : 0;
}
