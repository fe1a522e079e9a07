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
set(ENV{ZDX7000_SIMULATION} ${SIMULATION})
set(ENV{LD_LIBRARY_PATH} "")
execute_process(COMMAND ${PREFIX}/bin/zdxtool list OUTPUT_VARIABLE out ERROR_VARIABLE err
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out MATCHES "150S1 +Heat Unit H2 +2E91 0001")
    message(FATAL_ERROR "installed zdxtool: rc ${rc}\n${out}${err}")
endif()
file(REMOVE_RECURSE ${PREFIX})
