# Runs fontgen on a tiny two-row font and on broken copies of it: the good
# one must land every glyph in its own cell, each broken one must be refused
# with a message that says what is wrong, and leave no file behind.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

set(alphabet " abcdefghijklmnopqrstuvwxyz0123456789.,:?")
set(good "# test font\ncell 14 2\nlevel ' ' 0\nlevel '+' 128\nlevel '#' 255\n")
foreach(k RANGE 40)
    string(SUBSTRING "${alphabet}" ${k} 1 character)
    if(character STREQUAL "a")
        set(rows "|#+            |\n|              |\n") # top left of cell 1
    elseif(character STREQUAL "?")
        set(rows "|              |\n|             #|\n") # bottom right of cell 40
    else()
        set(rows "|              |\n|              |\n")
    endif()
    string(APPEND good "\nglyph '${character}'\n${rows}")
endforeach()

# Runs fontgen on text; sets status and errors.
function(run_fontgen name text)
    file(WRITE ${WORK}/${name}.txt "${text}")
    execute_process(COMMAND ${FONTGEN} ${WORK}/${name}.txt ${WORK}/${name}.bmp
        RESULT_VARIABLE status ERROR_VARIABLE errors)
    set(status ${status} PARENT_SCOPE)
    set(errors "${errors}" PARENT_SCOPE)
endfunction()

# The grey of pixel (x, y) of a 576 x 2 sheet, stored bottom row first.
function(pixel_at x y out)
    math(EXPR offset "54 + ((1 - ${y}) * 576 + ${x}) * 3")
    file(READ ${WORK}/good.bmp bytes OFFSET ${offset} LIMIT 3 HEX)
    set(${out} ${bytes} PARENT_SCOPE)
endfunction()

run_fontgen(good "${good}")
if(NOT status EQUAL 0)
    message(FATAL_ERROR "fontgen refused a good font: ${errors}")
endif()
file(SIZE ${WORK}/good.bmp size)
if(NOT size EQUAL 3510) # 54 + 576 * 2 * 3: 41 cells of 14 padded to a multiple of 4
    message(FATAL_ERROR "good.bmp is ${size} bytes, not 3510")
endif()
foreach(probe "14;0;ffffff" "15;0;808080" "573;1;ffffff" "13;0;000000" "14;1;000000" "572;1;000000"
              "574;1;000000" "575;0;000000")
    list(GET probe 0 x)
    list(GET probe 1 y)
    list(GET probe 2 expected)
    pixel_at(${x} ${y} actual)
    if(NOT actual STREQUAL expected)
        message(FATAL_ERROR "pixel (${x}, ${y}) is ${actual}, not ${expected}")
    endif()
endforeach()

# Breaks the good font by replacing one piece of it and expects fontgen to
# say message and write nothing.
function(expect_refusal name piece replacement message)
    string(FIND "${good}" "${piece}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "${name}: the good font has no \"${piece}\"")
    endif()
    string(REPLACE "${piece}" "${replacement}" broken "${good}")
    run_fontgen(${name} "${broken}")
    string(FIND "${errors}" "${message}" found)
    if(status EQUAL 0 OR found EQUAL -1 OR EXISTS ${WORK}/${name}.bmp)
        message(FATAL_ERROR "${name}: expected a refusal saying \"${message}\", "
            "got status ${status} and: ${errors}")
    endif()
endfunction()

set(blankRow "|              |\n")
expect_refusal(missing "glyph 'z'\n${blankRow}${blankRow}" "" "glyph 'z' is missing")
expect_refusal(twice "glyph 'z'" "glyph 'y'" "glyph 'y' is drawn twice")
expect_refusal(stranger "glyph '?'" "glyph '!'" "'!' is not in the alphabet")
expect_refusal(narrowRow "|#+            |" "|#+           |"
    "row 0 of glyph 'a' is 13 wide, not 14")
expect_refusal(shortGlyph "glyph 'b'\n${blankRow}" "glyph 'b'\n" "glyph 'b' has 1 rows, not 2")
expect_refusal(unknownLevel "|#+            |" "|x+            |"
    "'x' in glyph 'a' is not a declared level")
expect_refusal(unframedRow "glyph 'c'\n${blankRow}" "glyph 'c'\n|              \n"
    "a row must end with '|'")
expect_refusal(cellWidth "cell 14 2" "cell 12 2" "cells must be 14 pixels wide, not 12")
expect_refusal(noCell "cell 14 2\n" "" "no cell line")
expect_refusal(badLevel "level '#' 255" "level '#' 256" "expected: level 'c' GREY")

# Asked for help, it answers on standard output and succeeds.
execute_process(COMMAND ${FONTGEN} --help RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE errors)
if(NOT status EQUAL 0 OR NOT out MATCHES "^usage: fontgen GLYPHS OUTPUT\n" OR NOT errors STREQUAL "")
    message(FATAL_ERROR "fontgen --help: status ${status}, stdout '${out}', stderr '${errors}'")
endif()
