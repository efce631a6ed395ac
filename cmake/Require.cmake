# Finding what the build needs on this machine, with an error that names the Debian package to install
# (scripts/setup.sh lists them all and installs them).

function(velora_not_found what package)
    message(FATAL_ERROR "${what} not found: install the Debian package '${package}' "
                        "(scripts/setup.sh installs every package of its list)")
endfunction()

# velora_find_program(VAR PACKAGE deb NAMES name…)
function(velora_find_program var)
    cmake_parse_arguments(arg "" "PACKAGE" "NAMES" ${ARGN})
    find_program(${var} NAMES ${arg_NAMES})
    if(NOT ${var})
        string(REPLACE ";" " or " names "${arg_NAMES}")
        velora_not_found("the program ${names}" ${arg_PACKAGE})
    endif()
endfunction()

# velora_find_package(Name PACKAGE deb [find_package arguments…]); a macro, so that the package's
# variables reach the caller.
macro(velora_find_package name)
    cmake_parse_arguments(velora_fp "" "PACKAGE" "" ${ARGN})
    find_package(${name} ${velora_fp_UNPARSED_ARGUMENTS} QUIET)
    if(NOT ${name}_FOUND)
        velora_not_found("the CMake package ${name}" ${velora_fp_PACKAGE})
    endif()
endmacro()

# velora_require_path(PATH PACKAGE deb WHAT text): a file or folder that a package puts in a fixed place.
function(velora_require_path path)
    cmake_parse_arguments(arg "" "PACKAGE;WHAT" "" ${ARGN})
    if(NOT EXISTS "${path}")
        velora_not_found("${arg_WHAT} (${path})" ${arg_PACKAGE})
    endif()
endfunction()
