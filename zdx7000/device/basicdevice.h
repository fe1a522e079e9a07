// The request/response cycle over one driver, with the codec and the two frame pools a device owns
// while it is open.
#pragma once

#include "idevice.h"
#include "io/iiodriver.h"
#include "protocol/pool.h"
#include "protocol/varonprotocoldecoder.h"
#include "protocol/varonprotocolencoder.h"

#include <memory>

namespace zdx {

class BasicDevice : public IDevice
{
public:
    enum State : int32_t
    {
        Closed = 1,
        Open = 2
    };

    explicit BasicDevice(std::unique_ptr<IIODriver> driver);
    ~BasicDevice() override;

    int32_t close() override { return StatusOkValue; }
    // Encodes the request, drops whatever is left of an earlier response, flushes and writes.
    int32_t send(FrameMessage *request) override;
    // Reads and decodes until one complete response has arrived, the read times out or the
    // decoder fails; no retry.
    int32_t receive(FrameMessage *response) override;

    int32_t state() const { return m_state; }
    IIODriver *driver() const { return m_driver.get(); }
    Pool *receivePool() const { return m_receivePool.get(); }
    Pool *transmitPool() const { return m_transmitPool.get(); }
    // Holds on to the input frame of a response until the next request: it may carry bytes past
    // the end of the frame.
    const VaronProtocolDecoder *decoder() const { return m_decoder.get(); }

protected:
    static constexpr int32_t StatusOkValue = 0;
    static constexpr int32_t FramesPerPool = 4;

    // Makes the codec and the pools; undone by releaseResources().
    void createResources();
    void releaseResources();

    int32_t m_state = Closed;
    std::unique_ptr<IIODriver> m_driver;
    std::unique_ptr<VaronProtocolEncoder> m_encoder;
    std::unique_ptr<VaronProtocolDecoder> m_decoder;
    std::unique_ptr<FramePool> m_receivePool;
    std::unique_ptr<FramePool> m_transmitPool;
};

} // namespace zdx
