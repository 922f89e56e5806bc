cmake_minimum_required(VERSION 3.16)
# Fails when a core file includes a QtGui or QtWidgets header or a file of a higher layer:
#   link/    includes nothing of device/, tasks/ or above;
#   tasks/   never the Device facade (device/device.h, device/devicemanager.h);
#   the device records (DeviceInfo, DeviceState, EnvironmentState) neither tasks/ nor the facade;
#   the core (link/ device/ tasks/ history/ update/) nothing of app/, panels/, charts/,
#   history/ui/ or update/ui/.
# The library follows the folder: link/ is varnolink; device/ tasks/ history/ update/ are varnocore;
# app/ panels/ charts/ history/ui/ update/ui/ forms/ resources/ are varnoui. The build's own lists
# (LINK_SOURCES, CORE_SOURCES, UI_SOURCES) are checked against that rule too.
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

set(link_folders link)
set(core_folders device tasks history update)
set(ui_folders app panels charts history/ui update/ui forms resources)

set(faults)
# Each library's files lie in its folders (a file directly in one of them: history/ui/ is not
# history/).
function(check_library library sources)
    set(folders ${ARGN})
    string(REPLACE ";" "/ " folder_names "${folders}/")
    string(REPLACE "|" ";" sources "${sources}")
    if(NOT sources)
        message(FATAL_ERROR "${library}: no sources given")
    endif()
    foreach(source IN LISTS sources)
        string(FIND "${source}" "${BINARY_DIR}/" in_build)
        if(in_build EQUAL 0)
            continue()  # generated: moc, uic, rcc
        endif()
        file(RELATIVE_PATH name ${SOURCE_DIR} ${source})
        get_filename_component(folder ${name} DIRECTORY)
        if(NOT folder IN_LIST folders)
            list(APPEND faults "${name} is built into ${library}, whose folders are ${folder_names}")
        endif()
    endforeach()
    set(faults ${faults} PARENT_SCOPE)
endfunction()
check_library(varnolink "${LINK_SOURCES}" ${link_folders})
check_library(varnocore "${CORE_SOURCES}" ${core_folders})
check_library(varnoui "${UI_SOURCES}" ${ui_folders})

# Every file in a core folder, whether or not the build lists it.
set(files)
foreach(folder IN LISTS link_folders core_folders)
    file(GLOB folder_files ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp)
    list(APPEND files ${folder_files})
endforeach()
string(REPLACE ";" "|" ui_folder_regex "${ui_folders}")

foreach(file IN LISTS files)
    file(RELATIVE_PATH name ${SOURCE_DIR} ${file})
    file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include")
    foreach(line IN LISTS includes)
        string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]+)[>\"].*" "\\1" target "${line}")
        get_filename_component(leaf ${target} NAME)
        set(why)
        if(target MATCHES "^Qt(Gui|Widgets)(/|$)" OR leaf IN_LIST gui_names)
            set(why "a QtGui/QtWidgets header")
        elseif(target MATCHES "^(${ui_folder_regex})/")
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
