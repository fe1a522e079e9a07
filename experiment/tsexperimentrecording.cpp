#include "experiment/tsexperimentrecording.h"

#include "experiment/tsexperimentchannel.h"

void TsExperimentRecording::clear()
{
    startTime = QDateTime();
    endTime = QDateTime();
    columns.clear();
    samples.clear();
    sampleCount = 0;
}

namespace {
const int sampleTypeId =
    qRegisterMetaType<TsExperimentRecording::Sample *>("TsExperimentRecording::Sample*");
}
