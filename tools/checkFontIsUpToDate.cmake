# Fails when the committed font.bmp is not what fontgen makes of the drawing,
# i.e. someone edited one without regenerating the other.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
execute_process(COMMAND ${FONTGEN} ${GLYPHS} ${WORK}/font.bmp RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "fontgen failed on ${GLYPHS}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${COMMITTED} ${WORK}/font.bmp
    RESULT_VARIABLE differs)
if(NOT differs EQUAL 0)
    message(FATAL_ERROR "${COMMITTED} is not what fontgen makes of ${GLYPHS}; "
        "rebuild it with: cmake --build <build directory> --target font")
endif()
