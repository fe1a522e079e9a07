// Status numbers of the library's inner layers (driver, codec, device). The exported functions turn
// them into the public result codes of zdx7000.h.
#pragma once

#include <cstdint>

namespace zdx {

enum Status : int32_t
{
    StatusOk = 0,
    StatusFailure = 2, // USB library failure, not open, bad handle, port changed
    StatusWriteFailed = 3,
    StatusBadElementType = 6,
    StatusBadOption = 8,
    StatusWrongKind = 9, // entry of the wrong kind; refusal by the controller in transact
    StatusFramingError = 10,
    StatusChecksumMismatch = 11,
    StatusNullArgument = 12,
    StatusUnexpectedState = 13,
    StatusTimeout = 14,
    StatusBuilding = 15, // encoder between begin and finish
    StatusNotByteStream = 16,
    StatusReadNotOpen = 17,
    StatusWrongState = 18,
    StatusFrameTooLong = 19,
    StatusNoReceivePool = 20,
    StatusAlreadyOpen = 21,
    StatusShortPayload = 22, // a response's elements need more bytes than its payload holds
    StatusReadFailed = 23,   // the USB library failed a read for a reason other than time-out
};

} // namespace zdx
