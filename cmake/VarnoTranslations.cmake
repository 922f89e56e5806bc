# Translations: each locales/varnodevm_<lang>.ts listed here is compiled by lrelease into <build>/locales, the
# "locales" folder beside the program, together with the language catalogue and the toolkit's own
# texts for each language we ship. Refreshing the .ts files from the sources is a deliberate step:
# cmake --build build --target varno_lupdate
# (-I the source root: sources include "history/x.h", and lupdate needs the class declarations.)
set(VARNO_LOCALES_OUTPUT_DIR ${CMAKE_BINARY_DIR}/locales)
set(VARNO_QT_LANGUAGES ru)

set(VARNO_TS_FILES ${CMAKE_SOURCE_DIR}/locales/varnodevm_ru.ts)
set_source_files_properties(${VARNO_TS_FILES} PROPERTIES OUTPUT_LOCATION ${VARNO_LOCALES_OUTPUT_DIR})
qt5_add_translation(VARNO_QM_FILES ${VARNO_TS_FILES})

set(VARNO_LOCALE_FILES ${VARNO_QM_FILES})
configure_file(${CMAKE_SOURCE_DIR}/locales/languages.xml ${VARNO_LOCALES_OUTPUT_DIR}/languages.xml COPYONLY)
list(APPEND VARNO_LOCALE_FILES ${VARNO_LOCALES_OUTPUT_DIR}/languages.xml)

# Debian's qt_<lang>.qm (qttranslations5-l10n) is a catalogue that only names the module files
# holding the texts; QTranslator loads those from the same folder, so they travel together.
# A Qt built without its translations (the Windows one) takes the build machine's: .qm files are
# the same on every platform, and Debian's are of the same Qt version.
get_target_property(_varno_qmake Qt5::qmake IMPORTED_LOCATION)
execute_process(COMMAND ${_varno_qmake} -query QT_INSTALL_TRANSLATIONS
                OUTPUT_VARIABLE VARNO_QT_TRANSLATIONS_DIR OUTPUT_STRIP_TRAILING_WHITESPACE)
set(VARNO_HOST_QT_TRANSLATIONS_DIR /usr/share/qt5/translations CACHE PATH
    "Where to take Qt's own translations from when the Qt built against has none")
foreach(lang IN LISTS VARNO_QT_LANGUAGES)
    set(_varno_qt_files qt_${lang}.qm qtbase_${lang}.qm qtscript_${lang}.qm
        qtmultimedia_${lang}.qm qtxmlpatterns_${lang}.qm)
    foreach(qm IN LISTS _varno_qt_files)
        set(_source ${VARNO_QT_TRANSLATIONS_DIR}/${qm})
        if(NOT EXISTS ${_source})
            set(_source ${VARNO_HOST_QT_TRANSLATIONS_DIR}/${qm})
        endif()
        if(EXISTS ${_source})
            add_custom_command(OUTPUT ${VARNO_LOCALES_OUTPUT_DIR}/${qm}
                COMMAND ${CMAKE_COMMAND} -E copy_if_different ${_source} ${VARNO_LOCALES_OUTPUT_DIR}/${qm}
                DEPENDS ${_source}
                COMMENT "Copying the toolkit's ${qm}")
            list(APPEND VARNO_LOCALE_FILES ${VARNO_LOCALES_OUTPUT_DIR}/${qm})
        else()
            message(WARNING "${_source} not found (Debian package qttranslations5-l10n): "
                            "standard dialogs stay in English for '${lang}'")
        endif()
    endforeach()
endforeach()

add_custom_target(varno_translations ALL DEPENDS ${VARNO_LOCALE_FILES})

set(_varno_lupdate_dirs)
foreach(dir IN ITEMS link device tasks history update app panels charts forms)
    list(APPEND _varno_lupdate_dirs ${CMAKE_SOURCE_DIR}/${dir})
endforeach()
add_custom_target(varno_lupdate
    COMMAND Qt5::lupdate -no-obsolete -locations none -I ${CMAKE_SOURCE_DIR} ${_varno_lupdate_dirs}
            -ts ${VARNO_TS_FILES}
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
    COMMENT "Refreshing the translation sources from the code and forms"
    VERBATIM)
