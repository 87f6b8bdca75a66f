# cmake --install <build> [--prefix DIR], and cpack -G DEB for a Debian
# package. The program finds its font and the rules files of systems/ in
# share/bramblewisp beside its bin directory (on Windows beside the .exe),
# so every prefix works and an installed tree may be moved.

install(TARGETS bramblewisp RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES LICENSE README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

file(GLOB SHIPPED_SYSTEMS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/systems/*.toml)

if(WIN32)
    install(FILES font.bmp DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${SHIPPED_SYSTEMS} DESTINATION ${CMAKE_INSTALL_BINDIR}/systems)
    return()
endif()

install(FILES font.bmp DESTINATION ${CMAKE_INSTALL_DATADIR}/bramblewisp)
install(FILES ${SHIPPED_SYSTEMS} DESTINATION ${CMAKE_INSTALL_DATADIR}/bramblewisp/systems)

# The manual page names the installed font. The copy in the build tree, for
# reading and checking, names the configured prefix; the installed one is
# made again at install time for the prefix really used (--prefix, or the
# package's /usr), compressed as Debian wants it.
set(BRAMBLEWISP_DATA_DIR ${CMAKE_INSTALL_FULL_DATADIR}/bramblewisp)
configure_file(docs/bramblewisp.1.in ${CMAKE_BINARY_DIR}/docs/bramblewisp.1 @ONLY)
install(CODE "
    set(PROJECT_VERSION ${PROJECT_VERSION})
    set(BRAMBLEWISP_DATA_DIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/bramblewisp\")
    set(page \"${CMAKE_BINARY_DIR}/docs/installed/bramblewisp.1\")
    configure_file(\"${PROJECT_SOURCE_DIR}/docs/bramblewisp.1.in\" \"\${page}\" @ONLY)
    execute_process(COMMAND gzip -9nf \"\${page}\" COMMAND_ERROR_IS_FATAL ANY)
    file(INSTALL \"\${page}.gz\" DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_MANDIR}/man1\")
")

# Only the package carries Debian's copyright file and changelog.
configure_file(packaging/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
execute_process(COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/packaging/changelog)
install(FILES packaging/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT debian EXCLUDE_FROM_ALL)

set(CPACK_PACKAGE_NAME bramblewisp)
set(CPACK_PACKAGE_VENDOR "the bramblewisp developers")
set(CPACK_PACKAGE_CONTACT "the bramblewisp developers <bramblewisp@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "grow a random particle system and save it as a picture")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_CMAKE_PROJECTS
    "${CMAKE_BINARY_DIR};bramblewisp;ALL;/"
    "${CMAKE_BINARY_DIR};bramblewisp;debian;/")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "bramblewisp grows a three-dimensional particle system from one of five
preset types, within a time budget given in seconds, draws it far to near
as translucent strokes over a generated background and saves the picture
as an 800 x 600 BMP or PNG file, a PNG with the options that draw it
again.")
include(CPack)
