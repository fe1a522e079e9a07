#include "basicdevice.h"

#include "status.h"

namespace zdx {

BasicDevice::BasicDevice(std::unique_ptr<IIODriver> driver)
    : m_driver(std::move(driver))
{}

BasicDevice::~BasicDevice()
{
    // Frames go back before their pools die: the driver's pending frame, the decoder's input.
    if (m_driver)
        m_driver->setReceivePool(nullptr);
    releaseResources();
}

void BasicDevice::createResources()
{
    m_encoder = std::make_unique<VaronProtocolEncoder>();
    m_decoder = std::make_unique<VaronProtocolDecoder>();
    m_receivePool =
        std::make_unique<FramePool>(std::make_unique<FrameAllocator>(DeviceFrameCapacity));
    m_transmitPool =
        std::make_unique<FramePool>(std::make_unique<FrameAllocator>(DeviceFrameCapacity));
    m_receivePool->fill(FramesPerPool);
    m_transmitPool->fill(FramesPerPool);
}

void BasicDevice::releaseResources()
{
    if (m_decoder)
        m_decoder->reset();
    m_decoder.reset();
    m_encoder.reset();
    m_transmitPool.reset();
    m_receivePool.reset();
}

int32_t BasicDevice::send(FrameMessage *request)
{
    if (m_state != Open)
        return StatusWrongState;
    Frame *frame = m_transmitPool->acquire();
    if (!frame)
        return StatusFailure;
    frame->state = FrameLent;

    int32_t status = m_encoder->begin(frame);
    if (status == StatusOk)
        status = m_encoder->add(request);
    if (status == StatusOk)
        status = m_encoder->finish();
    if (status != StatusOk) {
        giveBack(frame);
        return status;
    }
    m_decoder->reset();
    m_driver->control(OptionFlush, nullptr);
    return m_driver->write(frame);
}

int32_t BasicDevice::receive(FrameMessage *response)
{
    if (m_state != Open)
        return StatusWrongState;
    Frame *out = m_receivePool->acquire();
    if (!out)
        return StatusFailure;
    out->state = FrameLent;
    int32_t status = m_decoder->begin(out);
    if (status != StatusOk) {
        giveBack(out);
        return status;
    }

    for (;;) {
        switch (m_decoder->decode()) {
        case DecoderNeedsInput: {
            Frame *in = nullptr;
            status = m_driver->read(&in);
            if (status == StatusOk)
                status = m_decoder->supply(in);
            if (status != StatusOk) {
                // supply() refuses without taking the frame: it is still ours to give back.
                if (in && m_decoder->inputFrame() != in)
                    giveBack(in);
                m_decoder->reset();
                giveBack(out);
                return status;
            }
            continue;
        }
        case DecoderHasInput:
            continue;
        case DecoderFrameReady:
            status = m_decoder->extract(response);
            if (status != StatusOk) {
                // A refused extract leaves the output frame with us.
                m_decoder->reset();
                giveBack(out);
            }
            return status;
        case DecoderError:
            status = m_decoder->status();
            m_decoder->reset();
            giveBack(out);
            return status;
        default:
            m_decoder->reset();
            giveBack(out);
            return StatusUnexpectedState;
        }
    }
}

} // namespace zdx
