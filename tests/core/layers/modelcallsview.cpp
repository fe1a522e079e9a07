// Builds only where the window's layer is linked: code that reaches a view without including its
// header (a declaration of its own) compiles on the core layer, but the linker finds no view there.
#include "experiment/tsexperimentchannel.h"

#include <QColor>

class TsChannelWidget
{
public:
    static QColor backgroundColor(TsChannelState state);
};

int main()
{
    return TsChannelWidget::backgroundColor(TsChannelState::Green).isValid() ? 0 : 1;
}
