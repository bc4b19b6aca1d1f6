# -DKEYSCOPE_HID_VID as the udev rule is configured with it: sysfs writes a
# vendor id as four lower-case hex digits, so any other spelling would never
# match; a malformed value stops the configure with a message.
#   cmake -DSOURCE_DIR=<tree> -P HidVendorTest.cmake
cmake_minimum_required(VERSION 3.25)
include(${SOURCE_DIR}/cmake/HidVendor.cmake)

# A lone value (VALUE set): the outcome of one configure, run as a process of
# its own so that a stop can be seen.
if(DEFINED VALUE)
    keyscope_hid_vendor("${VALUE}" vid)
    message("vid=[${vid}]")
    return()
endif()

# value|what the rule requires, or "stop"
set(cases
    "|"
    "04d8|04d8"
    "0x04D8|04d8"
    "0X04d8|04d8"
    "4d8|04d8"
    "1|0001"
    "FFFF|ffff"
    "0x|stop"
    "0|stop"
    "0x0000|stop"
    "04d8a|stop"
    "04g8|stop"
    "0x 4d8|stop"
    "-4d8|stop")
set(failures 0)
foreach(case IN LISTS cases)
    string(REPLACE "|" ";" case "${case}")
    list(GET case 0 value)
    list(GET case 1 expected)
    execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${SOURCE_DIR} "-DVALUE=${value}"
                            -P ${CMAKE_CURRENT_LIST_FILE}
                    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(expected STREQUAL "stop")
        if(result EQUAL 0 OR NOT err MATCHES "KEYSCOPE_HID_VID=${value} is not a USB vendor id")
            message(SEND_ERROR "'${value}' should stop the configure; got: ${err}")
            math(EXPR failures "${failures} + 1")
        endif()
    elseif(NOT result EQUAL 0 OR NOT err MATCHES "vid=\\[${expected}\\]")
        message(SEND_ERROR "'${value}' should give '${expected}'; got: ${err}")
        math(EXPR failures "${failures} + 1")
    endif()
endforeach()
list(LENGTH cases total)
message("${total} vendor ids, ${failures} wrong")
