include(GoogleTest)

# Adds each listed folder. A layer without its CMakeLists.txt stops the
# configure step: a missing file must not quietly drop a layer from the build.
function(keyscope_add_layers)
    foreach(dir IN LISTS ARGN)
        if(NOT EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
            message(FATAL_ERROR "layer ${dir} has no CMakeLists.txt")
        endif()
        add_subdirectory(${dir})
    endforeach()
endfunction()

# Adds every subfolder of the current folder that holds a CMakeLists.txt.
# Shared helpers (support, fakes) have none; a folder of tests, benchmarks or
# fuzz targets without one stops the configure step instead of vanishing.
function(keyscope_add_subfolders)
    file(GLOB entries LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
    foreach(entry IN LISTS entries)
        if(NOT IS_DIRECTORY ${entry})
            continue()
        endif()
        if(EXISTS ${entry}/CMakeLists.txt)
            add_subdirectory(${entry})
            continue()
        endif()
        file(GLOB targets ${entry}/*Test.cpp ${entry}/*Bench.cpp ${entry}/*_fuzz.cpp)
        if(targets)
            message(FATAL_ERROR "${entry} holds ${targets} but no CMakeLists.txt")
        endif()
    endforeach()
endfunction()

# keyscope_add_test(<name> SOURCES <files...> LIBS <targets...>)
# One GoogleTest binary; its cases are registered with CTest one by one and run
# with Qt's offscreen platform so widget tests need no display.
function(keyscope_add_test name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        NO_PRETTY_VALUES NO_PRETTY_TYPES
        PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KEYSCOPE_SIMULATE=;KEYSCOPE_HID_LIBRARY="
        DISCOVERY_TIMEOUT 60)
endfunction()

# keyscope_add_widget_test(<name> SOURCES <files...> LIBS <targets...>)
# As keyscope_add_test, with one QApplication for the whole run.
function(keyscope_add_widget_test name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
    keyscope_add_test(${name}
        SOURCES ${PROJECT_SOURCE_DIR}/tests/support/QtTestMain.cpp ${T_SOURCES}
        LIBS ${T_LIBS} Qt6::Widgets Qt6::Test)
endfunction()

# keyscope_add_fuzzer(<name> <source> LIBS <targets...>)
function(keyscope_add_fuzzer name source)
    cmake_parse_arguments(F "" "" "LIBS" ${ARGN})
    add_executable(${name} ${source})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${name} PRIVATE ${F_LIBS})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
endfunction()
