# Installs the build into a scratch folder and checks that everything a desktop needs is there.
# -DBUILD_DIR=<build> -DSTAGE=<scratch folder>
file(REMOVE_RECURSE ${STAGE})
execute_process(COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${STAGE}
                        ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix /usr
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()
set(expected
    usr/bin/varnodevm
    usr/share/varnodevm/locales/languages.xml
    usr/share/varnodevm/locales/varnodevm_ru.qm
    usr/share/varnodevm/locales/qt_ru.qm
    usr/share/varnodevm/locales/qtbase_ru.qm
    usr/share/applications/example.varno.DeviceManager.desktop
    usr/share/metainfo/example.varno.DeviceManager.metainfo.xml
    usr/share/icons/hicolor/64x64/apps/example.varno.DeviceManager.png)
foreach(f IN LISTS expected)
    if(NOT EXISTS ${STAGE}/${f})
        message(FATAL_ERROR "not installed: ${f}")
    endif()
endforeach()
file(GLOB_RECURSE rules ${STAGE}/*/udev/rules.d/60-varno-monitor.rules)
if(NOT rules)
    message(FATAL_ERROR "the udev rule is not in a udev rules folder")
endif()
file(READ ${STAGE}/usr/share/metainfo/example.varno.DeviceManager.metainfo.xml metainfo)
if(NOT metainfo MATCHES "<modalias>usb:v27E9pB403d\\*</modalias>")
    message(FATAL_ERROR "the metainfo does not name the monitor's USB ids")
endif()
file(REMOVE_RECURSE ${STAGE})
