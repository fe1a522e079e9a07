// A channel of a controller reached through the device-access library: raw signed 16-bit values
// scaled to display units.
#pragma once

#include "device/tsdevicechannel.h"

#include <cstdint>

class TsVaronDevice;

class TsVaronChannel : public TsDeviceChannel
{
    Q_OBJECT

public:
    // Raw values from this on mean "no value".
    static constexpr int NoValueRaw = 4096;

    TsVaronChannel(const Info &info, TsVaronDevice *device);

    QxResult setValue(int role, const QVariant &value) override;
    QVariant value(int role) override;
    QxResult updateStatus() override;
    QxResult updateStatusAfterDeviceRead(const QxResult &deviceRead) override;

    // raw x scale, or NaN for the no-value marker.
    static double fromRaw(int16_t raw, double scale);
    // The raw value of a display value: nearest integer, halves upwards. Refuses what is not a
    // finite number or does not fit in 16 bits instead of letting it wrap.
    static QxResult toRaw(const QVariant &value, double scale, int16_t &raw);

private:
    friend class TsVaronDevice; // publishes the device status while making channels

    void logReadFailure(const char *label, const QxResult &result) const;
    void setNotOperational();
    // The device lost its link: no values, and a status that says why.
    void setNoAnswer();
    // Whether reads and writes can reach the controller at all.
    bool isReachable() const;

    TsVaronDevice *m_device;
};
