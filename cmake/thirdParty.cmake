# Header-only libraries from the distribution. Each reaches the builds
# through a private folder of the build tree that links just its headers:
# adding all of /usr/include would put the host's C library in front of the
# mingw and WebAssembly compilers' own.
#
# BRAMBLEWISP_THIRD_PARTY_HEADERS lists what the folder links, each a path
# under the system include directory (a header file or a folder of them).
set(BRAMBLEWISP_THIRD_PARTY_HEADERS
    toml++ # the rules files' TOML (libtomlplusplus-dev)
)
set(BRAMBLEWISP_THIRD_PARTY_INCLUDE ${CMAKE_BINARY_DIR}/thirdParty/include)
# The host's headers, also when a cross toolchain re-roots the search.
set(BRAMBLEWISP_SYSTEM_INCLUDE /usr/include CACHE PATH "Where the header-only libraries are installed")

foreach(header IN LISTS BRAMBLEWISP_THIRD_PARTY_HEADERS)
    set(source ${BRAMBLEWISP_SYSTEM_INCLUDE}/${header})
    if(NOT EXISTS ${source})
        message(FATAL_ERROR "${source} is missing: tools/install-deps installs the header-only libraries")
    endif()
    get_filename_component(parent ${BRAMBLEWISP_THIRD_PARTY_INCLUDE}/${header} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    if(CMAKE_HOST_WIN32)
        # Symbolic links need extra rights there: a copy does as well.
        file(COPY ${source} DESTINATION ${parent})
    else()
        file(CREATE_LINK ${source} ${BRAMBLEWISP_THIRD_PARTY_INCLUDE}/${header} SYMBOLIC)
    endif()
endforeach()

# Linked by whatever includes them; SYSTEM keeps their warnings out of ours.
add_library(bramblewisp_third_party INTERFACE)
target_include_directories(bramblewisp_third_party SYSTEM INTERFACE ${BRAMBLEWISP_THIRD_PARTY_INCLUDE})
