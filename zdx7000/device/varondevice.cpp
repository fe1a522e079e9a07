#include "varondevice.h"

#include "io/iodriversiusbxp.h"
#include "status.h"
#include "varondeviceenumerator.h"

namespace zdx {

VaronDevice::VaronDevice()
    : BasicDevice(std::make_unique<IODriverSiUSBXp>())
{}

VaronDevice::~VaronDevice()
{
    if (m_state == Open)
        close();
}

int32_t VaronDevice::createEnumerator(IDeviceEnumerator **out)
{
    if (!out)
        return StatusNullArgument;
    IIODriverEnumerator *ports = nullptr;
    if (m_driver->createEnumerator(&ports) != StatusOk || !ports)
        return StatusFailure;
    *out = new VaronDeviceEnumerator(std::unique_ptr<IIODriverEnumerator>(ports));
    return StatusOk;
}

int32_t VaronDevice::open(const DeviceEntry *entry)
{
    if (!entry)
        return StatusNullArgument;
    if (entry->kind != DeviceEntryKind)
        return StatusWrongKind;
    if (m_state != Closed)
        return StatusWrongState;

    int32_t status = m_driver->open(entry->port);
    if (status != StatusOk)
        return status;
    if (m_driver->kind() != 1) {
        m_driver->close();
        return StatusNotByteStream;
    }

    int32_t baudRate = BaudRate;
    int32_t readTimeout = ReadTimeout;
    int32_t writeTimeout = WriteTimeout;
    status = m_driver->control(OptionSetBaudRate, &baudRate);
    if (status == StatusOk)
        status = m_driver->control(OptionSetReadTimeout, &readTimeout);
    if (status == StatusOk)
        status = m_driver->control(OptionSetWriteTimeout, &writeTimeout);
    if (status == StatusOk)
        status = m_driver->control(OptionFlush, nullptr);
    if (status != StatusOk) {
        // The port is open by now; leaving it so would lock the controller out until unload.
        m_driver->close();
        return status;
    }

    createResources();
    m_driver->setReceivePool(m_receivePool.get());
    m_state = Open;
    return StatusOk;
}

int32_t VaronDevice::close()
{
    if (m_state != Open)
        return StatusWrongState;
    m_driver->setReceivePool(nullptr);
    releaseResources();
    const int32_t status = m_driver->close();
    m_state = Closed;
    return status;
}

} // namespace zdx
