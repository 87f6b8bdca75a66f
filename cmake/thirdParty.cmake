# Header-only libraries from the distribution. Each header (or folder of
# headers) listed below is linked into one private folder of the build tree,
# and targets that use them link bramblewisp_thirdParty, which puts only that
# folder on their include path: all of /usr/include would hand the cross
# builds (mingw, WebAssembly) the host's C library headers.
#
# A line per header or folder, as found under BRAMBLEWISP_THIRD_PARTY_ROOT,
# with the Debian package that holds it and what uses it.
set(BRAMBLEWISP_THIRD_PARTY_HEADERS
    stb/stb_image_write.h # libstb-dev: the PNG writer's zlib compressor
    stb/stb_image.h       # libstb-dev: the tests decode the PNGs
    toml++                # libtomlplusplus-dev: the rules files' reader
)

set(BRAMBLEWISP_THIRD_PARTY_ROOT /usr/include CACHE PATH
    "Where the header-only libraries in cmake/thirdParty.cmake are found")
set(thirdPartyDir ${CMAKE_BINARY_DIR}/thirdParty/include)

foreach(header IN LISTS BRAMBLEWISP_THIRD_PARTY_HEADERS)
    set(from ${BRAMBLEWISP_THIRD_PARTY_ROOT}/${header})
    if(NOT EXISTS ${from})
        message(FATAL_ERROR "${from} is missing: tools/install-deps installs the "
            "packages that cmake/thirdParty.cmake names")
    endif()
    get_filename_component(folder ${thirdPartyDir}/${header} DIRECTORY)
    file(MAKE_DIRECTORY ${folder})
    if(IS_DIRECTORY ${from} AND CMAKE_HOST_WIN32)
        # Links need extra rights there, and COPY_ON_ERROR copies files only.
        file(COPY ${from} DESTINATION ${folder})
    else()
        file(CREATE_LINK ${from} ${thirdPartyDir}/${header} SYMBOLIC COPY_ON_ERROR)
    endif()
endforeach()

add_library(bramblewisp_thirdParty INTERFACE)
# SYSTEM: their warnings are not ours to fix.
target_include_directories(bramblewisp_thirdParty SYSTEM INTERFACE ${thirdPartyDir})
