# Script mode: the layer check. Each folder of production code may include only the folders below it (by the
# first part of the include path, from its component root) and, unless it is a Win32 folder, no Windows
# header. The table here is the one place that says who may use whom; docs/design.md explains it.
cmake_policy(VERSION 3.21)

# folder | include prefixes it may use | portable (no Windows header) | headers without a folder it may use
# besides those beside the file (generated ones).
set(rules
    "client/core|core,res,platform|portable|"
    "client/helper|helper,res,core,platform,contract|portable|"
    "client/auth|auth,res,helper,core,platform|portable|"
    "client/engine|engine,res,helper,core,platform|portable|"
    "client/diagnosis|diagnosis,res,engine,helper,core,platform|portable|"
    "client/api|api,res,auth,engine,diagnosis,helper,core,platform|portable|"
    "client/ui|ui,ui/skin,ui/framework,res,common,auth,engine,diagnosis,helper,core,platform,platform/win32|win32|resource.h,skin_resource.h"
    "client/common|common,ui/skin,ui/framework,res,core,platform,platform/win32|win32|resource.h,skin_resource.h"
    "client/app|app,res,api,ui,ui/skin,ui/framework,common,auth,engine,diagnosis,helper,core,platform,platform/win32|win32|resource.h,skin_resource.h"
    "platform/include|platform|portable|"
    "platform/host|platform,platform/host|portable|MessageTable.h"
    "platform/win32|platform,platform/win32,contract|win32|Corvane_h.h"
    "service/contract|contract|portable|"
    "service/logic|logic,contract,platform|portable|"
    "service/inprocess|inprocess,logic,contract,platform|portable|"
    "service/win32|win32,logic,contract,platform/win32|win32|Corvane_h.h")
# The portable presenters of the UI and the skin's rules (client/ui/skin): the rule of their folder, without
# Win32.
set(presenter_prefixes ui ui/skin res auth engine diagnosis helper core platform)

set(win_headers windows winsock2 ws2tcpip wininet winhttp objbase ole2 oleauto shlobj shellapi wincrypt bcrypt
    iphlpapi ras raserror winsvc tlhelp32 commctrl gdiplus winreg windef winbase winuser winnt winerror
    comdef atlbase wbemidl netcon icmpapi)
list(JOIN win_headers "|" alternatives)
set(windows_pattern "^[ \t]*#[ \t]*include[ \t]*<(${alternatives})\\.h>")
set(quoted_pattern "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\"")

# The layer an include path belongs to: platform/win32 and platform/host apart from the platform interface.
function(layer_of path out)
    if(path MATCHES "^platform/(win32|host)/")
        set(${out} "platform/${CMAKE_MATCH_1}" PARENT_SCOPE)
    elseif(path MATCHES "^ui/(skin|framework)/")
        # The skin's portable rules and the dialog framework sit below the skin layer (client/common), which
        # draws by the one and builds on the other.
        set(${out} "ui/${CMAKE_MATCH_1}" PARENT_SCOPE)
    else()
        string(REGEX REPLACE "/.*" "" first "${path}")
        set(${out} "${first}" PARENT_SCOPE)
    endif()
endfunction()

set(failed "")
foreach(rule ${rules})
    string(REPLACE "|" ";" parts "${rule}")
    list(GET parts 0 dir)
    list(GET parts 1 allowed)
    list(GET parts 2 kind)
    list(LENGTH parts count)
    set(extra "")
    if(count GREATER 3)
        list(GET parts 3 extra)
    endif()
    string(REPLACE "," ";" allowed "${allowed}")
    string(REPLACE "," ";" extra "${extra}")
    file(GLOB_RECURSE files "${SOURCE_DIR}/${dir}/*.h" "${SOURCE_DIR}/${dir}/*.hpp" "${SOURCE_DIR}/${dir}/*.cpp")
    foreach(f ${files})
        string(REPLACE "${SOURCE_DIR}/" "" rel "${f}")
        get_filename_component(here "${f}" DIRECTORY)
        set(file_allowed ${allowed})
        set(file_kind ${kind})
        if(dir STREQUAL "client/ui" AND (f MATCHES "Presenter\\.(h|cpp)$" OR rel MATCHES "^client/ui/skin/"))
            set(file_allowed ${presenter_prefixes})
            set(file_kind portable)
        endif()
        file(STRINGS "${f}" lines REGEX "^[ \t]*#[ \t]*include")
        foreach(line ${lines})
            if(line MATCHES "${windows_pattern}")
                if(file_kind STREQUAL "portable")
                    list(APPEND failed "${rel}: Windows header in portable code: ${line}")
                endif()
            elseif(line MATCHES "${quoted_pattern}")
                set(path "${CMAKE_MATCH_1}")
                if(path MATCHES "/")
                    layer_of("${path}" layer)
                    if(NOT layer IN_LIST file_allowed)
                        list(APPEND failed "${rel}: ${dir} may not use ${layer}: ${line}")
                    endif()
                elseif(NOT EXISTS "${here}/${path}" AND NOT path IN_LIST extra)
                    list(APPEND failed "${rel}: header neither beside the file nor generated for it: ${line}")
                endif()
            endif()
        endforeach()
    endforeach()
endforeach()
if(failed)
    list(JOIN failed "\n  " msg)
    message(FATAL_ERROR "Includes across a forbidden layer edge (see docs/design.md):\n  ${msg}")
endif()
