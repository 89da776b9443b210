# What `cmake --install` puts where, and the packages CPack makes of it: a
# Debian package on Linux, a zip in a Windows build. scripts/package builds
# both.
set(KORVA_PACKAGE_MAINTAINER "KORVA maintainers <korva@example.org>"
    CACHE STRING "Maintainer of the packages: name <address>")

if(WIN32)
  # One folder, as a zip is unpacked: korva finds its data file beside
  # itself, so the example is there under the name it looks for.
  install(TARGETS korva korva-dat EXPORT KorvaTargets RUNTIME DESTINATION .)
  install(FILES README.md docs/korva-dat.md DESTINATION .)
  install(FILES examples/KORVA.DAT examples/example.rc DESTINATION .)
  # The notices of what is compiled in (xxHash) travel with the programs.
  configure_file(cmake/debian/copyright ${CMAKE_CURRENT_BINARY_DIR}/copyright.txt @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/copyright.txt DESTINATION .)
else()
  include(GNUInstallDirs)
  install(TARGETS korva korva-dat EXPORT KorvaTargets RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES README.md docs/korva-dat.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES examples/KORVA.DAT examples/example.rc examples/example.c examples/CMakeLists.txt
          DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

  # Manual pages and the changelog compressed as Debian wants them: gzip -9,
  # no name or time inside, so that a rebuild gives the same bytes.
  find_program(KORVA_GZIP gzip REQUIRED)
  set(packaged ${CMAKE_CURRENT_BINARY_DIR}/packaged)
  configure_file(cmake/debian/changelog ${packaged}/changelog @ONLY)
  configure_file(cmake/debian/copyright ${packaged}/copyright @ONLY)
  set(compressed "")
  foreach(source man/korva.1 man/korva-dat.1 ${packaged}/changelog)
    get_filename_component(name ${source} NAME)
    add_custom_command(OUTPUT ${packaged}/${name}.gz
                       COMMAND ${KORVA_GZIP} -9n -c ${source} > ${packaged}/${name}.gz
                       DEPENDS ${source} WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} VERBATIM)
    list(APPEND compressed ${packaged}/${name}.gz)
  endforeach()
  add_custom_target(korva_packaged_docs ALL DEPENDS ${compressed})
  install(FILES ${packaged}/korva.1.gz ${packaged}/korva-dat.1.gz
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${packaged}/changelog.gz ${packaged}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

include(${CMAKE_CURRENT_LIST_DIR}/cmake_package.cmake)

set(CPACK_PACKAGE_NAME korva)
set(CPACK_PACKAGE_VENDOR "KORVA")
set(CPACK_PACKAGE_CONTACT "${KORVA_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "translates the string tables of Windows programs")
set(CPACK_PACKAGE_DESCRIPTION
    "korva rewrites the string-table resources of a Windows program (EXE or DLL)\n"
    "into one resource per destination language, with the texts taken from a\n"
    "translation data file. korva-dat makes, updates and checks that file, and\n"
    "trades it with translators as gettext PO files.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The C++ run-time is linked in (src/CMakeLists.txt): only the C library
  # remains, which dpkg-shlibdeps names with its version.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
      OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endif()
include(CPack)
