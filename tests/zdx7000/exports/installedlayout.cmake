# The library's installed layout works on its own: zdxtool, installed beside libzdx7000, finds the
# library there (as the program does) and lists the simulated controller.
set(PREFIX ${WORK}/installed)
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX} --component zdx7000
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "installing the library component failed: ${rc}")
endif()
if(NOT EXISTS ${PREFIX}/include/zdx7000/zdx7000.h)
    message(FATAL_ERROR "the public header was not installed")
endif()
# Without the rule a controller on Linux is for root only.
if(NOT EXISTS ${PREFIX}/bin/zdxtool.exe AND NOT EXISTS ${PREFIX}/lib/udev/rules.d/70-tessaro.rules)
    message(FATAL_ERROR "the controllers' udev rule was not installed")
endif()
# The vendor's USB library comes with its driver, not with ours (Windows only): its stand-in is put
# where the driver would have put it.
if(VENDOR_LIBRARY)
    file(COPY ${VENDOR_LIBRARY} DESTINATION ${PREFIX}/bin)
endif()
set(tool ${PREFIX}/bin/zdxtool)
if(EXISTS ${tool}.exe)
    set(tool ${tool}.exe)
endif()
set(ENV{ZDX7000_SIMULATION} ${SIMULATION})
set(ENV{LD_LIBRARY_PATH} "")
execute_process(COMMAND ${EMULATOR} ${tool} list OUTPUT_VARIABLE out ERROR_VARIABLE err
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out MATCHES "150S1 +Heat Unit H2 +2E91 0001")
    message(FATAL_ERROR "installed zdxtool: rc ${rc}\n${out}${err}")
endif()
file(REMOVE_RECURSE ${PREFIX})
