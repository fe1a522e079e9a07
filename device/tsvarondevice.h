// A controller reached through the device-access library.
#pragma once

#include "device/tsdevice.h"

class TsVaronDevice : public TsDevice
{
    Q_OBJECT

public:
    // Channel numbers a controller can have; model entries above it are never made.
    static constexpr int MaxChannels = 8;

    explicit TsVaronDevice(const Info &info, QObject *parent = nullptr);
    ~TsVaronDevice() override;

    // The library's handle; -1 while closed.
    int handle() const;
    // The device status byte of the last successful status read; 0 before one.
    int deviceStatus() const;

    // Finds the controller by serial number, opens it, reads its status and makes the channels.
    QxResult open() override;
    QxResult close() override;
    QxResult updateStatus() override;

    // Success for the library's result code 0; otherwise an error with the code and its text.
    static QxResult toResult(int code);
    static QString resultText(int code);

private:
    void makeChannels();

    struct Private;
    QScopedPointer<Private> d;
};
