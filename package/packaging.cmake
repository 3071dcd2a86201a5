# What a release is made of: the programs' install rules, which strip them
# on `cmake --install --strip` as CPack's packages do, and the two packages
# that scripts/release.sh makes with CPack, the Debian package and the
# Windows archive, each named with the project's version.

set(SHOW_MAINTAINER "STARLOOM developers <starloom@users.noreply.invalid>" CACHE STRING
  "Who answers for the Debian package: its Maintainer field and its changelog's signature")

set(CPACK_PACKAGE_NAME starloom)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${SHOW_MAINTAINER})
set(CPACK_STRIP_FILES ON)

# Installs TARGET's program as DESTINATION/NAME. A program installed under
# another name than its target's is a plain file to CMake, which strips only
# targets, so it is stripped here, of the compiler's notes too, as Debian does.
function(install_program target destination name)
  install(PROGRAMS $<TARGET_FILE:${target}> DESTINATION ${destination} RENAME ${name})
  install(CODE "if(CMAKE_INSTALL_DO_STRIP)
    execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
                      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${destination}/${name}\"
                    COMMAND_ERROR_IS_FATAL ANY)
  endif()")
endfunction()

# starloom-<version>-windows.zip: a folder of that name holding starloom.exe,
# dat/, the licence and a readme, with Windows' line ends.
macro(package_windows_zip)
  configure_file(LICENSE LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(package/README-windows.txt README.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt ${CMAKE_CURRENT_BINARY_DIR}/README.txt DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME starloom-${PROJECT_VERSION}-windows)
  include(CPack)
endmacro()

# starloom_<version>_amd64.deb: the install rules' files under /usr, the manual
# pages and the changelog compressed as Debian wants them, and the libraries
# the programs link against as its dependencies.
macro(package_debian)
  string(TIMESTAMP SHOW_RELEASE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
  configure_file(package/changelog.in ${CMAKE_CURRENT_BINARY_DIR}/changelog @ONLY)
  install(FILES package/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog DESTINATION share/doc/starloom)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "self-running real-time graphics show with music")
  string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Starloom plays a short show on its own, full screen at the desktop's\n"
    "resolution: a title picture, a logo that shrinks and fades over a star field,\n"
    "three panels of text that rise and recede in perspective, and free flight\n"
    "through a rolling three-dimensional star field that the viewer steers, all\n"
    "to its own music.\n"
    "\n"
    "starloom-record plays the same show without a display and records it to a\n"
    "video with its music; it needs ffmpeg.")
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION games)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS ffmpeg)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/package/compress.cmake)
  include(CPack)

  # Removes what `cmake --install` put down, as its manifest lists it.
  add_custom_target(uninstall
    COMMAND ${CMAKE_COMMAND} -DMANIFEST=${CMAKE_CURRENT_BINARY_DIR}/install_manifest.txt
      -P ${PROJECT_SOURCE_DIR}/package/uninstall.cmake
    VERBATIM)
endmacro()
