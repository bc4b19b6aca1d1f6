# keyscope_hid_vendor(<value> <out-var>): a USB vendor id written as sysfs
# writes it, four lower-case hex digits ("0x04D8", "4d8" and "04d8" all give
# "04d8"); empty stays empty (any vendor). Any other value stops the configure:
# a rule that never matches would leave the board without access, unsaid.
function(keyscope_hid_vendor value out)
    if(value STREQUAL "")
        set(${out} "" PARENT_SCOPE)
        return()
    endif()
    string(TOLOWER "${value}" vid)
    string(REGEX REPLACE "^0x" "" vid "${vid}")
    # One to four hex digits, not all zero: 0 is no vendor's id.
    if(NOT vid MATCHES "^[0-9a-f][0-9a-f]?[0-9a-f]?[0-9a-f]?$" OR vid MATCHES "^0+$")
        message(FATAL_ERROR "KEYSCOPE_HID_VID=${value} is not a USB vendor id: "
                            "1 to 4 hex digits, \"0x\" allowed (e.g. 04d8)")
    endif()
    string(LENGTH "${vid}" digits)
    math(EXPR padding "4 - ${digits}")
    string(REPEAT "0" ${padding} zeros)
    set(${out} "${zeros}${vid}" PARENT_SCOPE)
endfunction()
