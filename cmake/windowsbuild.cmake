# What the Windows build takes from sources, since Debian ships these for Linux only: GoogleTest
# (Debian's sources in /usr/src/googletest) and the XML parser the controller simulation reads its
# files with (its Debian source package, unpacked by scripts/test-windows). Only the library, its
# tool and its tests are built for Windows: the desktop program needs Qt, which has no Windows
# build here.
if(NOT TESSARO_LIBRARY_ONLY)
    message(FATAL_ERROR "Only the device-access library is built for Windows: "
                        "configure with -DTESSARO_LIBRARY_ONLY=ON (scripts/test-windows does).")
endif()
set(TESSARO_BENCHMARKS OFF)

set(TESSARO_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${TESSARO_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(target gtest gtest_main gmock gmock_main)
    add_library(GTest::${target} ALIAS ${target})
endforeach()

set(TESSARO_TINYXML2_SOURCE "" CACHE PATH "The unpacked sources of tinyxml2 (tinyxml2.cpp)")
if(NOT EXISTS "${TESSARO_TINYXML2_SOURCE}/tinyxml2.cpp")
    message(FATAL_ERROR "TESSARO_TINYXML2_SOURCE must name the folder of tinyxml2.cpp; "
                        "scripts/test-windows fetches it.")
endif()
add_library(tinyxml2_static STATIC ${TESSARO_TINYXML2_SOURCE}/tinyxml2.cpp)
target_include_directories(tinyxml2_static SYSTEM PUBLIC ${TESSARO_TINYXML2_SOURCE})
