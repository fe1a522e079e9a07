// Does not build: a model of the core layer that includes a view. The core layer has no widgets.
#include "experiment/tsexperimentchannel.h"
#include "views/tschannelwidget.h"

int main()
{
    return TsChannelWidget::backgroundColor(int(TsChannelState::Green)).isEmpty() ? 1 : 0;
}
