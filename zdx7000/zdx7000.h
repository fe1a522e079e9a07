/*
 * ZDX7000 device-access library: finds the incubation controllers on USB, opens them by handle and
 * reads and writes their device and channel values.
 *
 * Every function returns a result code (ZDX_SUCCESS on success). All functions must be called from
 * one thread at a time; a device or channel operation blocks for up to 2.5 s writing plus 2.5 s
 * reading (30 s reading during a sensor calibration).
 *
 * Raw values travel as the controller keeps them: signed 16-bit numbers whose unit and scale the
 * library does not know.
 */
#ifndef ZDX7000_H
#define ZDX7000_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define ZDX_CALL __stdcall
#else
#define ZDX_CALL
#endif

#if defined(_WIN32)
#if defined(ZDX7000_BUILDING)
/* The DLL's module-definition file exports the decorated names, and only those. */
#define ZDX_API
#else
#define ZDX_API __declspec(dllimport)
#endif
#else
#define ZDX_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes of every exported function. */
enum ZdxResult
{
    ZDX_SUCCESS = 0,           /* "Operation succeeded" */
    ZDX_FAILED = 1,            /* "Function call failed": end of enumeration, open failed, ... */
    ZDX_ILLEGAL_HANDLE = 2,    /* "Illegal device handle" */
    ZDX_ILLEGAL_PARAMETER = 3, /* "Illegal Parameter" */
    ZDX_NULL_POINTER = 4,      /* "Pointer must not be null" */
    ZDX_TOO_MANY_DEVICES = 5,  /* "Too many devices" */
    ZDX_SEND_FAILED = 6,       /* "Sending data failed" */
    ZDX_RECEIVE_FAILED = 7,    /* "Receiving data failed" */
    ZDX_NOT_SUPPORTED = 8,     /* "Operation not supported" */
    ZDX_OPERATION_FAILURE = 9, /* "Operation failure detected": the controller refused */
    ZDX_BUFFER_TOO_SMALL = 10  /* "Buffer size too small" */
};

/* Data ids of ZdxEnumGetData. */
enum ZdxDataId
{
    ZDX_DATA_VENDOR_ID = 0,
    ZDX_DATA_PRODUCT_ID = 1,
    /* Text: why the controller cannot be opened, naming its device node and what grants access
     * (off Windows, a missing permission); empty when nothing is known against opening it.
     * `value` points to a character buffer of `size` bytes; a longer text gives
     * ZDX_BUFFER_TOO_SMALL. */
    ZDX_DATA_ACCESS_PROBLEM = 2
};

/* Handles run from 1 to ZDX_MAX_DEVICES. */
#define ZDX_MAX_DEVICES 256

/* One controller of the current enumeration. The texts are owned by the library and stay valid
 * only until the next ZdxEnumReset or ZdxEnumFree: copy them at once. */
typedef struct ZdxDeviceInfo
{
    const char *description;
    const char *serialNumber;
    void *entry;
} ZdxDeviceInfo;

ZDX_API int32_t ZDX_CALL ZdxGetVersion(int32_t *version);

ZDX_API int32_t ZDX_CALL ZdxEnumReset(void);
ZDX_API int32_t ZDX_CALL ZdxEnumNext(ZdxDeviceInfo *info);
/* A record of an earlier enumeration is refused with ZDX_OPERATION_FAILURE (by ZdxOpen with
 * ZDX_FAILED): its pointers are no longer valid. */
ZDX_API int32_t ZDX_CALL ZdxEnumGetData(ZdxDeviceInfo *info, int32_t dataId, uint32_t *value,
                                        int32_t size);
ZDX_API int32_t ZDX_CALL ZdxEnumFree(void);

ZDX_API int32_t ZDX_CALL ZdxOpen(ZdxDeviceInfo *info, int32_t *handle);
ZDX_API int32_t ZDX_CALL ZdxClose(int32_t handle);

ZDX_API int32_t ZDX_CALL ZdxGetDeviceStatus(int32_t handle, uint8_t *status);
ZDX_API int32_t ZDX_CALL ZdxGetControlMode(int32_t handle, uint8_t *mode);
ZDX_API int32_t ZDX_CALL ZdxSetControlMode(int32_t handle, uint8_t *mode);
ZDX_API int32_t ZDX_CALL ZdxGetExternalIlluminationBrightness(int32_t handle, uint8_t *brightness);
ZDX_API int32_t ZDX_CALL ZdxSetExternalIlluminationBrightness(int32_t handle, uint8_t *brightness);

/* Only the low byte of channel is sent; channels are numbered from 1. ZdxGetComponentName writes at
 * most size - 1 characters and a terminator; a size below 1 gives ZDX_ILLEGAL_PARAMETER. */
ZDX_API int32_t ZDX_CALL ZdxGetComponentName(int32_t handle, int32_t channel, char *buffer,
                                             int32_t size);
ZDX_API int32_t ZDX_CALL ZdxGetActualValue(int32_t handle, int32_t channel, int16_t *value);
ZDX_API int32_t ZDX_CALL ZdxGetSetpointValue(int32_t handle, int32_t channel, int16_t *value);
/* Writes *value and then holds in it the setpoint the controller reports back. */
ZDX_API int32_t ZDX_CALL ZdxSetSetpointValue(int32_t handle, int32_t channel, int16_t *value);
ZDX_API int32_t ZDX_CALL ZdxGetSetpointValueRange(int32_t handle, int32_t channel, int16_t *minimum,
                                                  int16_t *maximum);
ZDX_API int32_t ZDX_CALL ZdxGetLoopControl(int32_t handle, int32_t channel, uint8_t *control);
ZDX_API int32_t ZDX_CALL ZdxSetLoopControl(int32_t handle, int32_t channel, uint8_t *control);
ZDX_API int32_t ZDX_CALL ZdxGetChannelStatus(int32_t handle, int32_t channel, uint8_t *status);
ZDX_API int32_t ZDX_CALL ZdxCalibrateSensor(int32_t handle, int32_t channel, uint8_t *result);

/* Device arrival and removal notifications for a window. Only available on Windows; elsewhere both
 * return ZDX_FAILED after checking their arguments, and callers find controllers by polling. */
ZDX_API int32_t ZDX_CALL ZdxRegisterNotification(void *recipient, void **notification);
ZDX_API int32_t ZDX_CALL ZdxUnregisterNotification(void *notification);

#ifdef __cplusplus
}
#endif

#endif /* ZDX7000_H */
