# Writes the header that builds the shipped rules files into the program:
#   cmake -DOUTPUT=header -DSYSTEMS=folder -P embedSystems.cmake
# with the folder's type0.toml to type4.toml, so that -type k and
# systems/typek.toml are one text and cannot drift apart.
set(delimiter bramblewisp)
set(body "")
foreach(type RANGE 4)
    set(source ${SYSTEMS}/type${type}.toml)
    file(READ ${source} text)
    string(FIND "${text}" ")${delimiter}\"" clash)
    if(NOT clash EQUAL -1)
        message(FATAL_ERROR "${source} holds the raw string's end )${delimiter}\"")
    endif()
    get_filename_component(name ${source} NAME)
    string(APPEND body "    // ${name}\n    R\"${delimiter}(${text})${delimiter}\",\n")
endforeach()
file(WRITE ${OUTPUT}.new "// Made by cmake/embedSystems.cmake from systems/; edit those files instead.
#pragma once

#include <string_view>

namespace bramblewisp {

inline constexpr std::string_view kBuiltInSystems[] = {
${body}};

} // namespace bramblewisp
")
# Unchanged text leaves the header's time alone, and with it the build.
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.new)
