# Script mode: the layer check. Each folder of code may include only the layers its row names (an include
# path names its layer by its first part, from its component root) and, unless it is a Win32 folder, no
# Windows header. The table here is the one place that says who may use whom; docs/design.md explains it.
# SOURCE_DIR is the tree to check (the test tests/host/LayerCheckTest.cmake runs this over a planted one).
cmake_policy(VERSION 3.21)

# files | layer they form | layers and headers they may use besides their own | portable or win32 |
# headers without a folder they may use besides those beside the file (generated ones, or headers an
# include directory of their target provides).
# files: a folder, with all below it that no longer row names; "<folder>/*Presenter" takes the files named
# *Presenter.* in that folder's tree from its row. A layer names either a layer (`core`: every core/… header)
# or one header (`res/MessageIds.h`, the generated message ids: the rest of res/ is the window resources).
set(rules
    "client/core|core|res/MessageIds.h,platform|portable|"
    "client/helper|helper|res/MessageIds.h,core,platform,contract|portable|"
    "client/auth|auth|res/MessageIds.h,helper,core,platform|portable|"
    "client/engine|engine|res/MessageIds.h,helper,core,platform|portable|"
    "client/diagnosis|diagnosis|res/MessageIds.h,engine,helper,core,platform|portable|"
    "client/api|api|res/MessageIds.h,auth,engine,diagnosis,helper,core,platform|portable|"
    "client/ui/*Presenter|ui|res/MessageIds.h,ui/skin,auth,engine,diagnosis,helper,core,platform|portable|"
    "client/ui/skin|ui/skin|res/MessageIds.h,core,platform|portable|"
    "client/ui/framework|ui/framework|core,platform,platform/win32|win32|"
    "client/ui|ui/win32|res,ui,ui/skin,ui/framework,common,auth,engine,diagnosis,helper,core,platform,platform/win32|win32|resource.h,skin_resource.h"
    "client/common|common|res,ui/skin,ui/framework,core,platform,platform/win32|win32|resource.h,skin_resource.h"
    "client/app|app|res,api,ui,ui/win32,ui/skin,ui/framework,common,auth,engine,diagnosis,helper,core,platform,platform/win32|win32|resource.h,skin_resource.h"
    "client/res|res|core/Version.h|portable|"
    "platform/include|platform||portable|"
    "platform/host|platform/host|platform|portable|MessageTable.h"
    "platform/win32|platform/win32|platform,contract|win32|Corvane_h.h"
    "service/contract|contract||portable|"
    "service/logic|logic|contract,platform|portable|"
    "service/inprocess|inprocess|logic,contract,platform|portable|"
    "service/win32|win32|logic,contract,platform/win32|win32|Corvane_h.h"
    # The stand-ins: the cloud's is written from the protocol alone; the engine's shares the pipe's frames.
    "sim/cloud|sim/cloud||portable|"
    "sim/driver|sim/driver||win32|"
    "sim/engine|sim/engine|engine|win32|"
    "sim/engine/host|sim/engine/host|engine,logic,platform,platform/host|portable|EngineScenario.h"
    "sim/scripts|sim/scripts||win32|"
    "bench|bench|api,ui/skin,diagnosis,engine,helper,core,inprocess,logic,platform,platform/host|portable|HostEngineStandIn.h"
    "bench/win|bench/win|support,core,platform|win32|Corvane_h.h,StandInStats.h"
    "bench/skin|bench/skin|ui/win32,ui/skin,ui/framework,common|win32|SkinTestIds.h"
    "fuzz|fuzz|auth,engine,core,platform,platform/host|portable|"
    "demo|demo|core,platform|win32|"
    "tests|tests|api,auth,engine,core|portable|"
    "tests/core|tests/core|support,ui,ui/skin,api,auth,diagnosis,engine,helper,core,logic,platform,platform/host|portable|ApiTestSupport.h"
    "tests/host|tests/host|support,ui,ui/skin,api,auth,diagnosis,engine,helper,core,inprocess,logic,platform,platform/host|portable|ApiTestSupport.h,HostEngineStandIn.h"
    # The fixtures of both builds: their Windows parts stand behind _WIN32, which this check does not read.
    "tests/support|support|api,auth,diagnosis,engine,helper,core,inprocess,logic,platform,platform/host|win32|ApiTestSupport.h"
    "tests/win|tests/win|support,ui,ui/win32,ui/skin,ui/framework,common,api,auth,diagnosis,engine,helper,core,logic,win32,platform,platform/win32|win32|Corvane_h.h,resource.h,skin_resource.h"
    "tests/win/installed|tests/win/installed|support,core,platform,platform/win32|win32|Corvane_h.h")
# Every source file under these folders must fall under a row.
set(checked_roots client platform service sim bench fuzz demo tests)

# Every Windows and SDK header the Win32 code of the tree includes (LayerCheckTest keeps the list complete).
set(win_headers windows winsock2 ws2tcpip wininet winhttp objbase objidl ole2 oleauto unknwn shlobj shellapi
    wincrypt bcrypt iphlpapi icmpapi netioapi ras raserror winsvc tlhelp32 commctrl richedit gdiplus winreg
    windef winbase winuser winnt winerror comdef atlbase wbemidl wbemcli netcon aclapi sddl roapi winstring)
list(JOIN win_headers "|" alternatives)
set(windows_pattern "^[ \t]*#[ \t]*include[ \t]*<(${alternatives})\\.h>")
set(quoted_pattern "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\"")
set(angled_pattern "^[ \t]*#[ \t]*include[ \t]*<([^>]+)>")

# The layer an include path belongs to: platform/win32 and platform/host apart from the platform interface;
# the UI's presenters (`ui`), skin rules, dialog framework and windows (`ui/win32`) apart.
function(layer_of path out)
    if(path MATCHES "^platform/(win32|host)/")
        set(${out} "platform/${CMAKE_MATCH_1}" PARENT_SCOPE)
    elseif(path MATCHES "^ui/(skin|framework)/")
        # The skin's portable rules and the dialog framework sit below the skin layer (client/common), which
        # draws by the one and builds on the other.
        set(${out} "ui/${CMAKE_MATCH_1}" PARENT_SCOPE)
    elseif(path MATCHES "^ui/.*Presenter\\.(h|hpp)$")
        set(${out} "ui" PARENT_SCOPE)
    elseif(path MATCHES "^ui/")
        set(${out} "ui/win32" PARENT_SCOPE)
    else()
        string(REGEX REPLACE "/.*" "" first "${path}")
        set(${out} "${first}" PARENT_SCOPE)
    endif()
endfunction()

# Splits the table once: row i has row_files_i, row_name_i (a pattern stripped), row_layer_i, row_allowed_i,
# row_kind_i, row_extra_i.
set(row_count 0)
set(all_layers "")
foreach(rule ${rules})
    string(REPLACE "|" ";" parts "${rule}")
    list(LENGTH parts count)
    if(NOT count EQUAL 5)
        message(FATAL_ERROR "Layer table row without five fields: ${rule}")
    endif()
    set(i ${row_count})
    list(GET parts 0 row_files_${i})
    list(GET parts 1 row_layer_${i})
    list(GET parts 2 allowed)
    list(GET parts 3 row_kind_${i})
    list(GET parts 4 extra)
    string(REPLACE "," ";" row_allowed_${i} "${allowed}")
    string(REPLACE "," ";" row_extra_${i} "${extra}")
    set(row_pattern_${i} "")
    set(row_dir_${i} "${row_files_${i}}")
    if(row_files_${i} MATCHES "^(.*)/\\*([A-Za-z]+)$")
        set(row_dir_${i} "${CMAKE_MATCH_1}")
        set(row_pattern_${i} "${CMAKE_MATCH_2}\\.(h|hpp|cpp)$")
    endif()
    list(APPEND all_layers "${row_layer_${i}}")
    math(EXPR row_count "${row_count} + 1")
endforeach()
math(EXPR last_row "${row_count} - 1")

# The row a file (path from SOURCE_DIR) falls under: the longest folder that holds it; within one folder a
# row with a name pattern the file matches comes first. -1 when none does.
function(row_of rel out)
    set(best -1)
    set(best_length -1)
    set(best_pattern FALSE)
    foreach(i RANGE ${last_row})
        string(FIND "${rel}" "${row_dir_${i}}/" at)
        if(NOT at EQUAL 0)
            continue()
        endif()
        set(pattern FALSE)
        if(row_pattern_${i})
            get_filename_component(name "${rel}" NAME)
            if(NOT name MATCHES "${row_pattern_${i}}")
                continue()
            endif()
            set(pattern TRUE)
        endif()
        string(LENGTH "${row_dir_${i}}" length)
        if(length GREATER best_length OR (length EQUAL best_length AND pattern AND NOT best_pattern))
            set(best ${i})
            set(best_length ${length})
            set(best_pattern ${pattern})
        endif()
    endforeach()
    set(${out} ${best} PARENT_SCOPE)
endfunction()

set(files "")
foreach(root ${checked_roots})
    file(GLOB_RECURSE found "${SOURCE_DIR}/${root}/*.h" "${SOURCE_DIR}/${root}/*.hpp" "${SOURCE_DIR}/${root}/*.cpp")
    list(APPEND files ${found})
endforeach()

set(failed "")
foreach(f ${files})
    string(REPLACE "${SOURCE_DIR}/" "" rel "${f}")
    row_of("${rel}" row)
    if(row EQUAL -1)
        list(APPEND failed "${rel}: no row of the layer table holds this file")
        continue()
    endif()
    set(name "${row_files_${row}}")
    set(own "${row_layer_${row}}")
    set(allowed ${row_allowed_${row}})
    set(kind "${row_kind_${row}}")
    set(extra ${row_extra_${row}})
    get_filename_component(here "${f}" DIRECTORY)
    file(STRINGS "${f}" lines REGEX "^[ \t]*#[ \t]*include")
    foreach(line ${lines})
        string(TOLOWER "${line}" lower)
        if(lower MATCHES "${windows_pattern}")
            if(kind STREQUAL "portable")
                list(APPEND failed "${rel}: Windows header in portable code: ${line}")
            endif()
            continue()
        endif()
        set(path "")
        if(line MATCHES "${quoted_pattern}")
            set(path "${CMAKE_MATCH_1}")
        elseif(line MATCHES "${angled_pattern}")
            # A header of the tree in angle brackets is still an edge between layers.
            set(path "${CMAKE_MATCH_1}")
            layer_of("${path}" layer)
            if(NOT path MATCHES "/" OR NOT layer IN_LIST all_layers)
                continue()
            endif()
        else()
            continue()
        endif()
        if(path MATCHES "(^|/)\\.\\.(/|$)")
            list(APPEND failed "${rel}: include through \"../\" (name the header from its component root): ${line}")
        elseif(path MATCHES "/")
            layer_of("${path}" layer)
            if(NOT layer STREQUAL own AND NOT layer IN_LIST allowed AND NOT path IN_LIST allowed)
                list(APPEND failed "${rel}: ${name} may not use ${layer}: ${line}")
            endif()
        elseif(EXISTS "${here}/${path}")
            # A header beside the file belongs to the row of its own name (a dialog's header beside a
            # presenter is still a window's).
            string(REPLACE "${SOURCE_DIR}/" "" beside "${here}/${path}")
            row_of("${beside}" beside_row)
            if(NOT beside_row EQUAL row AND NOT beside_row EQUAL -1)
                set(layer "${row_layer_${beside_row}}")
                if(NOT layer STREQUAL own AND NOT layer IN_LIST allowed)
                    list(APPEND failed "${rel}: ${name} may not use ${layer} (the header beside it): ${line}")
                endif()
            endif()
        elseif(NOT path IN_LIST extra)
            list(APPEND failed "${rel}: header neither beside the file nor generated for it: ${line}")
        endif()
    endforeach()
endforeach()
if(failed)
    list(JOIN failed "\n  " msg)
    message(FATAL_ERROR "Includes across a forbidden layer edge (see docs/design.md):\n  ${msg}")
endif()
