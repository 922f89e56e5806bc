# Installs the program the way a Linux desktop expects it: the program in bin, its locales in
# share/varnodevm/locales (the program looks there when none lie beside it), the udev rule that
# lets the seat's user open the monitor, the desktop entry, the AppStream metainfo and the icon.
include(GNUInstallDirs)

set(VARNO_APP_ID example.varno.DeviceManager)

# udev reads rules only from its own folders: the distribution's for a /usr install, the
# administrator's /etc/udev/rules.d for any other prefix.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    pkg_get_variable(_varno_udevdir udev udevdir)
    if(NOT _varno_udevdir)
        set(_varno_udevdir /usr/lib/udev)
    endif()
    set(_varno_rules_default ${_varno_udevdir}/rules.d)
else()
    set(_varno_rules_default /etc/udev/rules.d)
endif()
set(VARNO_UDEV_RULES_DIR ${_varno_rules_default} CACHE PATH "Where the monitor's udev rule is installed")

if(VARNO_LOCALES_OUTPUT_DIR)
    install(DIRECTORY ${VARNO_LOCALES_OUTPUT_DIR}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/varnodevm/locales)
endif()
install(FILES ${CMAKE_SOURCE_DIR}/packaging/60-varno-monitor.rules DESTINATION ${VARNO_UDEV_RULES_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/${VARNO_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/${VARNO_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${CMAKE_SOURCE_DIR}/resources/images/logo.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps RENAME ${VARNO_APP_ID}.png)

# The notice for a monitor this user may not open names the rule where it is installed.
target_compile_definitions(varnocore PRIVATE
    VARNO_UDEV_RULE_PATH="${VARNO_UDEV_RULES_DIR}/60-varno-monitor.rules")
# The always-on logger, a systemd user unit; systemd reads user units from <prefix>/lib/systemd/user
# for /usr and /usr/local alike.
set(VARNO_INSTALL_BINDIR ${CMAKE_INSTALL_FULL_BINDIR})
configure_file(${CMAKE_SOURCE_DIR}/packaging/varno-watch.service ${CMAKE_BINARY_DIR}/packaging/varno-watch.service @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/varno-watch.service DESTINATION lib/systemd/user)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/varnodevm.1 ${CMAKE_SOURCE_DIR}/packaging/varnoctl.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
