# Who may use whom: this check, part of every build, fails when a file includes across a forbidden layer
# edge or a portable folder includes a Windows header. The table of allowed edges is in CheckLayers.cmake.
add_custom_target(layer_check ALL
    COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -P ${CMAKE_SOURCE_DIR}/cmake/CheckLayers.cmake
    COMMENT "Checking the include edges between layers"
    VERBATIM)
