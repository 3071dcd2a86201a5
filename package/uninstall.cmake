# `cmake --build BUILD --target uninstall`: removes every file that the last
# `cmake --install` of BUILD put down, as its manifest lists them (under
# $DESTDIR when it is set, as it was for the install), and then
# the show's own folders that this leaves empty: those named starloom under a
# share/ folder (share/starloom, share/doc/starloom) and the folders in them.
# Shared folders (bin, share/man/man6...) and other programs' files stay.
# cmake -DMANIFEST=BUILD/install_manifest.txt -P uninstall.cmake
if(NOT EXISTS "${MANIFEST}")
  message(FATAL_ERROR "uninstall: no ${MANIFEST}: nothing was installed from this build")
endif()
file(STRINGS "${MANIFEST}" installed)
foreach(file IN LISTS installed)
  set(file "$ENV{DESTDIR}${file}")
  if(EXISTS "${file}" OR IS_SYMLINK "${file}")
    message(STATUS "Removing ${file}")
    file(REMOVE "${file}")
  endif()
  get_filename_component(folder "${file}" DIRECTORY)
  while(folder MATCHES "/share/(.+/)?starloom(/.*)?$" AND IS_DIRECTORY "${folder}")
    file(GLOB left LIST_DIRECTORIES true "${folder}/*" "${folder}/.*")
    if(left)
      break()
    endif()
    message(STATUS "Removing ${folder}/")
    file(REMOVE_RECURSE "${folder}")
    get_filename_component(folder "${folder}" DIRECTORY)
  endwhile()
endforeach()
file(REMOVE "${MANIFEST}")
