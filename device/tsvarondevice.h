// A controller reached through the device-access library.
#pragma once

#include "device/tsdevice.h"

class TsVaronDevice : public TsDevice
{
    Q_OBJECT

public:
    // Channel numbers a controller can have; model entries above it are never made.
    static constexpr int MaxChannels = 8;
    // Transactions in a row that failed to reach the controller, after which its link counts as
    // lost. One failure may be a disturbance on the cable; several mean that the controller was
    // unplugged (perhaps plugged in again under a new handle) or does not answer at all.
    static constexpr int LostAfterFailures = 3;

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
    // Whether a result code means that the request or its answer did not travel, as opposed to
    // an answer that said no.
    static bool isTransportFailure(int code);

    // Every transaction on the handle reports its result code here; the code is returned as it
    // came. Enough transport failures in a row close the handle and mark the link as lost.
    int noteTransaction(int code);

private:
    void makeChannels();

    struct Private;
    QScopedPointer<Private> d;
};
