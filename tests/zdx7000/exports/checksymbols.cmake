# Fails unless the library exports exactly the 23 public functions: no other symbol of any kind
# (weak template instantiations and data included) may reach the dynamic symbol table.
execute_process(COMMAND nm -D --defined-only ${LIBRARY} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "\n[0-9a-f]* *[A-Za-z] [^\n]+" lines "\n${out}")
set(found "")
foreach(line ${lines})
    string(REGEX REPLACE "^\n[0-9a-f]* *[A-Za-z] " "" name "${line}")
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
