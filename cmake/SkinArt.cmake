# The skin's pictures: each is drawn once as an SVG under client/res/art and rendered here, at build time,
# for every DPI level it is used at (rsvg-convert for PNG, ImageMagick for ICO). Nothing rendered is kept in
# the repository. The build writes skin_art.rc (icon and PNG resources by id, included by the resource
# scripts) and copies the file pictures into bin/res, the "res" folder beside the executables.
velora_find_program(VELORA_RSVG PACKAGE librsvg2-bin NAMES rsvg-convert)
# ImageMagick's own name first: a "convert" earlier on PATH may be another program.
velora_find_program(VELORA_IM_CONVERT PACKAGE imagemagick NAMES convert-im6.q16 convert)

set(VELORA_ART_SOURCE ${CMAKE_SOURCE_DIR}/client/res/art)
set(VELORA_ART_DIR ${VELORA_GENERATED_DIR}/art)
set(VELORA_ART_RC ${VELORA_GENERATED_DIR}/skin_art.rc)
set(VELORA_TEST_ART_RC ${VELORA_GENERATED_DIR}/skin_test_art.rc)
set(_art_outputs "")
set(_art_rc_lines "")
set(_test_art_rc_lines "")

# Colours of the button states: normal (no face), hover and pressed (a light face behind the glyph).
set(_fg_normal "#7F8FA4")
set(_bg_normal "none")
set(_fg_hover "#0449E2")
set(_bg_hover "#E5EDF7")
set(_fg_pressed "#0449E2")
set(_bg_pressed "#D4DFEB")
set(_fg_plain "#354052")
set(_bg_plain "none")

# _velora_art(<rc list var> <ICON|PNG|FILE> <id or file name> <svg> <state> <width> <height>)
function(_velora_art listvar kind key svg state width height)
    if(kind STREQUAL "ICON")
        set(out ${VELORA_ART_DIR}/${key}.ico)
    elseif(kind STREQUAL "FILE")
        set(out ${CMAKE_BINARY_DIR}/bin/res/${key})
    else()
        set(out ${VELORA_ART_DIR}/${key}.png)
    endif()
    add_custom_command(
        OUTPUT ${out}
        COMMAND ${CMAKE_SOURCE_DIR}/scripts/render-art.sh ${VELORA_ART_SOURCE}/${svg} ${out} "${_fg_${state}}"
                "${_bg_${state}}" ${width} ${height} ${VELORA_RSVG} ${VELORA_IM_CONVERT}
        DEPENDS ${VELORA_ART_SOURCE}/${svg} ${CMAKE_SOURCE_DIR}/scripts/render-art.sh
        VERBATIM)
    set(_art_outputs ${_art_outputs} ${out} PARENT_SCOPE)
    if(NOT kind STREQUAL "FILE")
        set(${listvar} "${${listvar}}${key} ${kind} \"${out}\"\n" PARENT_SCOPE)
    endif()
endfunction()

# System buttons: three icons (normal, hover, pressed) per level group (0, 1, 2 and above).
set(_button_rows
    "close.svg|138,139,140|218,220,222|219,221,223|16,18,24"
    "minimise.svg|132,133,134|237,238,239|233,234,236|16,18,24"
    "menu.svg|156,157,158|230,231,232|227,228,229|16,18,24"
    "close-square.svg|250,260,270|243,244,245|240,241,242|16,18,24"
    "close-small.svg|408,136,414|410,413,416|409,412,415|9,9,12")
foreach(row IN LISTS _button_rows)
    string(REPLACE "|" ";" fields "${row}")
    list(GET fields 0 svg)
    list(GET fields 4 sizes)
    string(REPLACE "," ";" sizes "${sizes}")
    foreach(group 0 1 2)
        math(EXPR column "${group} + 1")
        list(GET fields ${column} ids)
        string(REPLACE "," ";" ids "${ids}")
        list(GET sizes ${group} size)
        foreach(state_index 0 1 2)
            list(GET ids ${state_index} id)
            if(state_index EQUAL 0)
                set(state normal)
            elseif(state_index EQUAL 1)
                set(state hover)
            else()
                set(state pressed)
            endif()
            _velora_art(_art_rc_lines ICON ${id} ${svg} ${state} ${size} ${size})
        endforeach()
    endforeach()
endforeach()

# Pictures with one variant per DPI level (the five ranges of the display scale).
set(_level_factors 1 1.5 2 2.5 3)
# _velora_level_set(<rc list var> <ICON|PNG|FILE> <svg> <width> <height> <key per level...>)
function(_velora_level_set listvar kind svg width height)
    set(keys ${ARGN})
    foreach(level 0 1 2 3 4)
        list(GET keys ${level} key)
        list(GET _level_factors ${level} factor)
        # math() is integer only: 1.5 and 2.5 are applied as halves.
        if(factor STREQUAL "1.5")
            math(EXPR w "${width} * 3 / 2")
            math(EXPR h "${height} * 3 / 2")
        elseif(factor STREQUAL "2.5")
            math(EXPR w "${width} * 5 / 2")
            math(EXPR h "${height} * 5 / 2")
        else()
            math(EXPR w "${width} * ${factor}")
            math(EXPR h "${height} * ${factor}")
        endif()
        _velora_art(${listvar} ${kind} ${key} ${svg} plain ${w} ${h})
    endforeach()
    set(_art_outputs ${_art_outputs} PARENT_SCOPE)
    set(${listvar} "${${listvar}}" PARENT_SCOPE)
endfunction()

# Top prompt icons (error, success, notice) and the toast's two pictures.
_velora_level_set(_art_rc_lines ICON prompt-error.svg 16 16 334 335 336 459 460)
_velora_level_set(_art_rc_lines ICON prompt-success.svg 16 16 331 332 333 457 458)
_velora_level_set(_art_rc_lines ICON prompt-notice.svg 16 16 417 420 418 467 468)
_velora_level_set(_art_rc_lines PNG toast-alert.svg 36 36 1092 1094 1093 463 464)
_velora_level_set(_art_rc_lines PNG toast-brand.svg 24 24 1095 1097 1096 465 466)
# The wave of style-1 windows, as files under res.
_velora_level_set(_art_rc_lines FILE wave.svg 400 101 wavetop-kx.png wavetop-kx15x.png wavetop-kx2x.png
                  wavetop-kx25x.png wavetop-kx3x.png)
# Pictures only the Wine tests and the gallery use (ids 9001 and up): the busy ring and an edit icon.
_velora_level_set(_test_art_rc_lines PNG busy.svg 20 20 9001 9002 9003 9004 9005)
_velora_level_set(_test_art_rc_lines ICON edit-user.svg 16 16 9011 9012 9013 9014 9015)

file(GENERATE OUTPUT ${VELORA_ART_RC} CONTENT "// Generated from client/res/art by the build.\n${_art_rc_lines}")
file(GENERATE OUTPUT ${VELORA_TEST_ART_RC}
     CONTENT "// Generated from client/res/art by the build.\n${_test_art_rc_lines}")
add_custom_target(velora_skin_art DEPENDS ${_art_outputs})
# Resource scripts that include skin_art.rc list these as object dependencies, so a changed picture
# rebuilds them.
set(VELORA_ART_OUTPUTS ${_art_outputs})
