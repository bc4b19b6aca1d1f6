# The Debian package: cpack -G DEB in a build folder makes
# keyscope_<version>-<revision>_<arch>.deb of everything "cmake --install"
# installs.
set(CPACK_PACKAGE_NAME keyscope)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE ${KEYSCOPE_DEB_RELEASE})
set(CPACK_PACKAGE_VENDOR "Keyscope")
set(CPACK_PACKAGE_CONTACT "Keyscope developers <keyscope@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "live dashboard for capacitive touch-key demo boards")
set(CPACK_PACKAGE_DESCRIPTION "Keyscope shows the live counts of up to sixteen touch keys of a
capacitive touch-key demonstration board, reached over USB HID, a serial port
or an in-circuit-emulator board, and records them as CSV (keyscope-record).")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# Depends computed from the programs and modules, plus what is loaded at run
# time: Qt's X11 platform plugin, and the fonts the views ask for by name.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-liberation2)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${KEYSCOPE_DEB_SCRIPTS})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# The compiler's notes (.comment) are no use in installed programs, and
# Debian's checks refuse them; they go once every program is in place
# (and stripped, in the package). Install rules run in the order given.
set(shipped
    ${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:keyscope>
    ${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:keyscope-record>
    ${KEYSCOPE_MODULE_INSTALL_DIR}/$<TARGET_FILE_NAME:keyscope-hid>
    ${KEYSCOPE_MODULE_INSTALL_DIR}/$<TARGET_FILE_NAME:keyscope-simhid>
    ${KEYSCOPE_MODULE_INSTALL_DIR}/$<TARGET_FILE_NAME:keyscope-board-probe>)
install(CODE "
    foreach(file ${shipped})
        execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
                                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${file}\"
                        COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
")
include(CPack)
