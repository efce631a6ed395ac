# Portable code reaches the operating system only through platform/include/platform: this check,
# part of every build, fails when a file in a portable folder includes a Windows header.
set(VELORA_PORTABLE_DIRS client/core client/auth client/engine client/diagnosis client/ui/skin service/logic)
add_custom_target(portable_check ALL
    COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} "-DDIRS=${VELORA_PORTABLE_DIRS}"
            -P ${CMAKE_SOURCE_DIR}/cmake/CheckPortable.cmake
    COMMENT "Checking that portable folders include no Windows header"
    VERBATIM)
