# Fails unless the library exports exactly the 23 public functions.
execute_process(COMMAND nm -D --defined-only ${LIBRARY} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "\n[0-9a-f]+ T [A-Za-z_0-9]+" lines "\n${out}")
set(found "")
foreach(line ${lines})
    string(REGEX REPLACE ".* T " "" name "${line}")
    if(NOT name MATCHES "^_(init|fini)$")
        list(APPEND found ${name})
    endif()
endforeach()
list(SORT found)
set(expected ZdxCalibrateSensor ZdxClose ZdxEnumFree ZdxEnumGetData ZdxEnumNext ZdxEnumReset
    ZdxGetActualValue ZdxGetChannelStatus ZdxGetComponentName ZdxGetControlMode
    ZdxGetDeviceStatus ZdxGetExternalIlluminationBrightness ZdxGetLoopControl
    ZdxGetSetpointValue ZdxGetSetpointValueRange ZdxGetVersion ZdxOpen ZdxRegisterNotification
    ZdxSetControlMode ZdxSetExternalIlluminationBrightness ZdxSetLoopControl ZdxSetSetpointValue
    ZdxUnregisterNotification)
list(SORT expected)
if(NOT found STREQUAL expected)
    message(FATAL_ERROR "exported: ${found}\nexpected: ${expected}")
endif()
list(LENGTH found n)
message(STATUS "${n} functions exported")
