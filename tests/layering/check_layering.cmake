cmake_minimum_required(VERSION 3.16)
# Fails when a core file includes a QtGui or QtWidgets header or a file of a higher layer:
#   link/    includes nothing of device/, tasks/ or above;
#   tasks/   never the Device facade (device/device.h, device/devicemanager.h);
#   the device records (DeviceInfo, DeviceState, EnvironmentState) neither tasks/ nor the facade;
#   the core (link/ device/ tasks/, non-UI history/ and update/) nothing of app/, panels/, charts/
#   or a UI file of history/ or update/.
string(REPLACE "|" ";" GUI_HEADER_DIRS "${GUI_HEADER_DIRS}")
set(gui_names)
foreach(dir IN LISTS GUI_HEADER_DIRS)
    file(GLOB headers RELATIVE ${dir} ${dir}/*)
    list(APPEND gui_names ${headers})
endforeach()
file(GLOB core_names RELATIVE ${CORE_HEADER_DIR} ${CORE_HEADER_DIR}/*)
if(core_names)
    list(REMOVE_ITEM gui_names ${core_names})
endif()
if(NOT "QColor" IN_LIST gui_names OR NOT "QWidget" IN_LIST gui_names)
    message(FATAL_ERROR "QtGui/QtWidgets headers not found in ${GUI_HEADER_DIRS}")
endif()

file(GLOB files ${SOURCE_DIR}/link/*.h ${SOURCE_DIR}/link/*.cpp
                ${SOURCE_DIR}/device/*.h ${SOURCE_DIR}/device/*.cpp
                ${SOURCE_DIR}/tasks/*.h ${SOURCE_DIR}/tasks/*.cpp
                ${SOURCE_DIR}/history/*.h ${SOURCE_DIR}/history/*.cpp
                ${SOURCE_DIR}/update/*.h ${SOURCE_DIR}/update/*.cpp)
list(FILTER files EXCLUDE REGEX "${UI_FILE_REGEX}")

set(faults)
foreach(file IN LISTS files)
    file(RELATIVE_PATH name ${SOURCE_DIR} ${file})
    file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include")
    foreach(line IN LISTS includes)
        string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]+)[>\"].*" "\\1" target "${line}")
        get_filename_component(leaf ${target} NAME)
        set(why)
        if(target MATCHES "^Qt(Gui|Widgets)(/|$)" OR leaf IN_LIST gui_names)
            set(why "a QtGui/QtWidgets header")
        elseif(target MATCHES "^(app|panels|charts)/" OR "/${target}" MATCHES "${UI_FILE_REGEX}")
            set(why "the UI")
        elseif(name MATCHES "^link/" AND target MATCHES "^(device|tasks|history|update)/")
            set(why "a layer above the link")
        elseif(name MATCHES "^tasks/" AND target MATCHES "^device/device(manager)?\\.h$")
            set(why "the Device facade above the tasks")
        elseif(name MATCHES "^device/(deviceinfo|devicestate|environmentstate)\\."
               AND target MATCHES "^(tasks/|device/device(manager)?\\.h$)")
            set(why "a layer above the device records")
        endif()
        if(why)
            list(APPEND faults "${name} includes ${target}: ${why}")
        endif()
    endforeach()
endforeach()
if(faults)
    string(REPLACE ";" "\n  " faults "${faults}")
    message(FATAL_ERROR "Layering broken:\n  ${faults}")
endif()
list(LENGTH files count)
message(STATUS "${count} core files checked")
