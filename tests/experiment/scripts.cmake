# The dynamic-experiment scripts: actions, file and run, and the editor's table model. Both run an
# experiment on the controller simulation and write files under a temporary home.
foreach(name tsexperimentscript tsexperimentscriptmodel)
    tessaro_add_test(experiment_${name}_test
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/${name}_test.cpp
                ${PROJECT_SOURCE_DIR}/tests/core/isolatedmain.cpp
                ${PROJECT_SOURCE_DIR}/tests/core/testenvironment.cpp
        LIBS tessaro_lib Qt5::Test LABELS experiment)
    target_include_directories(experiment_${name}_test PRIVATE
        ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/tests/core)
endforeach()
