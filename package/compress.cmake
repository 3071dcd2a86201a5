# Run by CPack on the Debian package's files before it packs them: the manual
# pages and the changelog compressed as Debian wants them, at the best ratio
# and without a name or time stamp, so that a rebuild makes the same bytes.
file(GLOB_RECURSE pages LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/usr/share/man/*")
file(GLOB changelogs LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/usr/share/doc/*/changelog")
foreach(file IN LISTS pages changelogs)
  if(NOT file MATCHES "\\.gz$")
    execute_process(COMMAND gzip -9n "${file}" COMMAND_ERROR_IS_FATAL ANY)
  endif()
endforeach()
