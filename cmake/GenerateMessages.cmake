# Script mode: turns the message catalogue into a Windows resource script, a C++ table and the header of
# message symbols (one constant per id, so calls name their message).
cmake_policy(VERSION 3.21)
file(STRINGS "${INPUT}" lines ENCODING UTF-8)
set(rc_en "")
set(rc_cn "")
set(cpp_rows "")
set(id_rows "")
set(symbols "")
set(seen "")
foreach(line IN LISTS lines)
    if(line MATCHES "^[ \t]*(#|$)")
        continue()
    endif()
    if(NOT line MATCHES "^([0-9]+)\t(kMsg[A-Za-z0-9]+)\t([^\t]*)\t([^\t]*)$")
        message(FATAL_ERROR "messages.txt: bad line (want id<TAB>kMsgSymbol<TAB>English<TAB>Chinese): ${line}")
    endif()
    set(id ${CMAKE_MATCH_1})
    set(symbol ${CMAKE_MATCH_2})
    set(en "${CMAKE_MATCH_3}")
    set(cn "${CMAKE_MATCH_4}")
    if(symbol IN_LIST symbols)
        message(FATAL_ERROR "messages.txt: symbol ${symbol} appears twice")
    endif()
    list(APPEND symbols ${symbol})
    if(id IN_LIST seen)
        message(FATAL_ERROR "messages.txt: id ${id} appears twice")
    endif()
    list(APPEND seen ${id})
    foreach(lang en cn)
        # C++ literal: escape backslash and quote. Resource script: backslash stays, quote doubles.
        string(REPLACE "\\" "\\\\" c_${lang} "${${lang}}")
        string(REPLACE "\"" "\\\"" c_${lang} "${c_${lang}}")
        string(REPLACE "\"" "\"\"" r_${lang} "${${lang}}")
        string(REPLACE "\\" "\\\\" r_${lang} "${r_${lang}}")
    endforeach()
    string(APPEND rc_en "    ${id}, L\"${r_en}\"\n")
    string(APPEND rc_cn "    ${id}, L\"${r_cn}\"\n")
    string(APPEND cpp_rows "    {${id}u, u\"${c_en}\", u\"${c_cn}\"},\n")
    string(APPEND id_rows "inline constexpr uint32_t ${symbol} = ${id};\n")
endforeach()
file(WRITE "${RC}.tmp"
"// Generated from client/res/messages.txt; do not edit.\n#pragma code_page(65001)\n\
LANGUAGE 0x09, 0x01\nSTRINGTABLE\nBEGIN\n${rc_en}END\n\n\
LANGUAGE 0x04, 0x02\nSTRINGTABLE\nBEGIN\n${rc_cn}END\n")
file(WRITE "${CPP}.tmp"
"// Generated from client/res/messages.txt; do not edit.\n#include \"MessageTable.h\"\n\n\
namespace platform::host {\nconst MessageEntry kMessageTable[] = {\n${cpp_rows}};\n\
const std::size_t kMessageTableSize = sizeof(kMessageTable) / sizeof(kMessageTable[0]);\n}  // namespace platform::host\n")
file(WRITE "${IDS}.tmp"
"// Generated from client/res/messages.txt; do not edit. The numbered messages by name.\n#pragma once\n\
#include <cstdint>\n\nnamespace velora {\n\n${id_rows}\n}  // namespace velora\n")
file(COPY_FILE "${IDS}.tmp" "${IDS}" ONLY_IF_DIFFERENT)
file(COPY_FILE "${RC}.tmp" "${RC}" ONLY_IF_DIFFERENT)
file(COPY_FILE "${CPP}.tmp" "${CPP}" ONLY_IF_DIFFERENT)
