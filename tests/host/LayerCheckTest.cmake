# Script mode: the layer check (cmake/CheckLayers.cmake) run over a small tree of planted includes.
#   PART=planted: a tree of allowed includes passes; with the forbidden ones added, each is refused with its
#                 message and none of the allowed ones is named.
#   PART=windows_headers: every header without a folder that the real tree includes is either refused in
#                 portable code or on the list below of headers that are not Windows'.
# -DCHECK=<CheckLayers.cmake> -DSOURCE_DIR=<the real tree> -DWORK=<scratch folder> -DPART=<part>
cmake_policy(VERSION 3.21)

# file | include line | the start of the check's complaint, after "<file>: " (empty: the include is allowed)
set(cases
    # Allowed: the generated message ids and the program's version in portable code, a layer's own headers,
    # a window using the presenter beside it and its resources, a presenter using another presenter and the
    # skin rules, Windows headers in Win32 folders, fixtures from their root.
    "client/engine/UsesMessageIds.cpp|#include \"res/MessageIds.h\"|"
    "client/engine/UsesVersion.cpp|#include \"core/Version.h\"|"
    "client/engine/UsesOwnLayer.cpp|#include \"engine/ConnectContext.h\"|"
    "client/ui/login/UsesPresenterBeside.cpp|#include \"SignInResultPresenter.h\"|"
    "client/ui/login/UsesResources.cpp|#include \"resource.h\"|"
    "client/ui/login/UsesWindows.cpp|#include <windows.h>|"
    "client/ui/login/UsesBesideOtherPresenter.cpp|#include \"SignInResultPresenter.h\"|"
    "client/ui/login/UsesSkinRulePresenter.cpp|#include \"ui/skin/DpiScale.h\"|"
    "client/res/resource.h|#include \"core/Version.h\"|"
    "sim/driver/UsesWindows.cpp|#include <windows.h>|"
    "tests/win/UsesWindows.cpp|#include <windows.h>|"
    "bench/win/UsesFixture.cpp|#include \"support/CorvaneProcess.h\"|"
    "platform/host/UsesPosix.cpp|#include <unistd.h>|"
    "client/core/UsesThirdParty.cpp|#include <nlohmann/json.hpp>|"
    # Refused: window resources in portable code (by path and bare), a dialog's header in a presenter
    # (beside it and from the root), a presenter's Windows header and resources, the skin rules reaching up
    # to a presenter, the client's code in the cloud stand-in, Windows headers in the portable folders of
    # the stand-ins, benchmarks, fuzz targets and tests, a window in a benchmark, "../", an edge in angle
    # brackets, a folder without a row, a Windows header spelled in capitals.
    "client/engine/UsesWindowResources.cpp|#include \"res/resource.h\"|client/engine may not use res"
    "client/engine/UsesBareResources.cpp|#include \"resource.h\"|header neither beside the file nor generated for it"
    "client/ui/login/DialogBesidePresenter.cpp|#include \"LoginDlg.h\"|client/ui/*Presenter may not use ui/win32 (the header beside it)"
    "client/ui/login/DialogFromRootPresenter.cpp|#include \"ui/login/LoginDlg.h\"|client/ui/*Presenter may not use ui/win32"
    "client/ui/login/WindowsPresenter.cpp|#include <windows.h>|Windows header in portable code"
    "client/ui/login/ResourcesPresenter.cpp|#include \"resource.h\"|header neither beside the file nor generated for it"
    "client/ui/skin/UsesPresenter.cpp|#include \"ui/login/SignInResultPresenter.h\"|client/ui/skin may not use ui"
    "sim/cloud/UsesClientCode.cpp|#include \"engine/PipeFrame.h\"|sim/cloud may not use engine"
    "sim/cloud/UsesWindows.cpp|#include <windows.h>|Windows header in portable code"
    "sim/engine/host/UsesWindows.cpp|#include <windows.h>|Windows header in portable code"
    "bench/UsesWindows.cpp|#include <windows.h>|Windows header in portable code"
    "bench/UsesDialog.cpp|#include \"ui/login/LoginDlg.h\"|bench may not use ui/win32"
    "bench/win/UsesParent.cpp|#include \"../StandInStats.h\"|include through \"../\""
    "fuzz/UsesWindows.cpp|#include <windows.h>|Windows header in portable code"
    "tests/UsesWindows.cpp|#include <windows.h>|Windows header in portable code"
    "tests/core/UsesWindows.cpp|#include <windows.h>|Windows header in portable code"
    "tests/core/UsesHandleOwners.cpp|#include \"platform/win32/Handles.h\"|tests/core may not use platform/win32"
    "tests/host/UsesWindows.cpp|#include <windows.h>|Windows header in portable code"
    "client/core/AngledEdge.cpp|#include <auth/SignIn.h>|client/core may not use auth"
    "client/unlisted/Unlisted.cpp|#include \"core/Log.h\"|no row of the layer table holds this file"
    "client/core/CapitalWindows.cpp|#include <Windows.h>|Windows header in portable code")

# Headers without a folder that are not Windows': the C library, POSIX and third-party ones.
set(not_windows assert.h ctype.h errno.h float.h inttypes.h limits.h locale.h math.h setjmp.h signal.h
    stdarg.h stddef.h stdint.h stdio.h stdlib.h string.h time.h wchar.h wctype.h dirent.h fcntl.h netdb.h
    poll.h pwd.h spawn.h unistd.h zlib.h qrcodegen.h)

# Runs the check over `tree`; sets `rc` and `output` (the complaint, white space folded to single spaces).
function(run_check tree)
    execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${tree} -P ${CHECK}
                    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
    string(REGEX REPLACE "[ \t\r\n]+" " " folded "${out}${err}")
    set(rc "${result}" PARENT_SCOPE)
    set(output "${folded}" PARENT_SCOPE)
endfunction()

function(plant tree file line)
    file(WRITE "${tree}/${file}" "// Planted by the layer check's test.\n${line}\n")
endfunction()

set(tree "${WORK}/${PART}")
file(REMOVE_RECURSE "${tree}")
# The headers the planted includes name beside them.
plant("${tree}" client/ui/login/LoginDlg.h "#pragma once")
plant("${tree}" client/ui/login/SignInResultPresenter.h "#pragma once")

set(problems "")
if(PART STREQUAL "planted")
    foreach(case ${cases})
        string(REPLACE "|" ";" fields "${case}")
        list(GET fields 0 file)
        list(GET fields 1 line)
        list(GET fields 2 expected)
        if(expected STREQUAL "")
            plant("${tree}" "${file}" "${line}")
        endif()
    endforeach()
    run_check("${tree}")
    if(NOT rc EQUAL 0)
        list(APPEND problems "the tree of allowed includes is refused: ${output}")
    endif()
    foreach(case ${cases})
        string(REPLACE "|" ";" fields "${case}")
        list(GET fields 0 file)
        list(GET fields 1 line)
        list(GET fields 2 expected)
        if(NOT expected STREQUAL "")
            plant("${tree}" "${file}" "${line}")
        endif()
    endforeach()
    run_check("${tree}")
    if(rc EQUAL 0)
        list(APPEND problems "the tree of forbidden includes passes")
    endif()
    foreach(case ${cases})
        string(REPLACE "|" ";" fields "${case}")
        list(GET fields 0 file)
        list(GET fields 1 line)
        list(GET fields 2 expected)
        if(NOT expected STREQUAL "")
            string(FIND "${output}" "${file}: ${expected}" at)
            if(at EQUAL -1)
                list(APPEND problems "${file} (${line}) is not refused with \"${expected}\"")
            endif()
        else()
            string(FIND "${output}" "${file}:" at)
            if(NOT at EQUAL -1)
                list(APPEND problems "${file} (${line}) is refused")
            endif()
        endif()
    endforeach()
elseif(PART STREQUAL "windows_headers")
    # Every header without a folder any file of the tree includes in angle brackets.
    set(headers "")
    foreach(root client platform service sim bench fuzz demo tests)
        file(GLOB_RECURSE found "${SOURCE_DIR}/${root}/*.h" "${SOURCE_DIR}/${root}/*.hpp" "${SOURCE_DIR}/${root}/*.cpp")
        foreach(f ${found})
            file(STRINGS "${f}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*<[^/>]+\\.h>")
            foreach(line ${lines})
                string(REGEX REPLACE ".*<([^>]+)>.*" "\\1" header "${line}")
                string(TOLOWER "${header}" header)
                list(APPEND headers "${header}")
            endforeach()
        endforeach()
    endforeach()
    list(REMOVE_DUPLICATES headers)
    list(LENGTH headers seen)
    if(seen LESS 10)
        list(APPEND problems "only ${seen} headers found under ${SOURCE_DIR}")
    endif()
    foreach(header ${headers})
        string(MAKE_C_IDENTIFIER "${header}" name)
        plant("${tree}" "client/core/Includes_${name}.cpp" "#include <${header}>")
    endforeach()
    run_check("${tree}")
    foreach(header ${headers})
        string(MAKE_C_IDENTIFIER "${header}" name)
        string(FIND "${output}" "client/core/Includes_${name}.cpp: Windows header in portable code" at)
        if(header IN_LIST not_windows AND NOT at EQUAL -1)
            list(APPEND problems "<${header}> is refused in portable code but listed here as not Windows'")
        elseif(NOT header IN_LIST not_windows AND at EQUAL -1)
            list(APPEND problems "<${header}> is not refused in portable code: add it to win_headers in cmake/CheckLayers.cmake (or, if it is not a Windows header, to not_windows here)")
        endif()
    endforeach()
else()
    message(FATAL_ERROR "PART must be planted or windows_headers, not '${PART}'")
endif()

if(problems)
    list(JOIN problems "\n  " text)
    message(FATAL_ERROR "Layer check:\n  ${text}")
endif()
message(STATUS "Layer check (${PART}): as expected")
