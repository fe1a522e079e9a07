// Writes samples in the recorder's own form (tab between columns, the header line, local time as
// "yyyy-MM-dd hh:mm:ss", one decimal with a point, empty fields for missing values), so that a
// part cut out of a recording opens again like any recording. Only actual values are known here:
// the setpoint and control columns stay empty.
#pragma once

#include "experiment/tsrecordingreader.h"
#include "utils/qxresult.h"

class TsRecordingWriter
{
public:
    // The rows [first, end) of the recording.
    static QxResult write(const TsRecording &recording, std::size_t first, std::size_t end,
                          const QString &path);
};
