// The byte-stream driver over the USB bridge library: opens one port, reads whatever bytes arrive
// into frames of a receive pool, writes filled frames out, and sets time-outs and baud rate.
#pragma once

#include "iiodriver.h"
#include "usb/usbapi.h"

#include <memory>

namespace zdx {

class IODriverSiUSBXp : public IIODriver
{
public:
    enum State : int32_t
    {
        Closed = 1,
        Open = 2
    };

    IODriverSiUSBXp();
    ~IODriverSiUSBXp() override;

    int32_t createEnumerator(IIODriverEnumerator **out) override;
    int32_t setReceivePool(Pool *pool) override;
    int32_t open(const PortEntry *entry) override;
    int32_t close() override;
    int32_t control(int32_t option, int32_t *value) override;
    int32_t write(Frame *frame) override;
    int32_t read(Frame **out) override;

    int32_t state() const { return m_state; }
    usb::Handle handle() const;

private:
    struct Settings;
    int32_t m_state = Closed;
    std::unique_ptr<Settings> m_settings;
};

} // namespace zdx
