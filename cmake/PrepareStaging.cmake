# Runs in CPack's staging folder after the install and before the package is
# made, and does there what Debian's packaging helpers do:
# - manual pages and changelogs are compressed with `gzip -9n` (no name or
#   time stamp, so the package bytes do not depend on when it was built);
# - programs, already stripped of their symbols, also lose the .comment and
#   .note sections, which only say which compiler made them.
file(GLOB_RECURSE pages LIST_DIRECTORIES false
     "${CPACK_TEMPORARY_DIRECTORY}/*/share/man/*"
     "${CPACK_TEMPORARY_DIRECTORY}/*/share/doc/*/changelog*")
foreach(page IN LISTS pages)
  if(IS_SYMLINK "${page}")
    message(FATAL_ERROR "${page} is a link; install the page it names under this name instead.")
  elseif(NOT page MATCHES "\\.gz$")
    execute_process(COMMAND gzip -9nf "${page}" COMMAND_ERROR_IS_FATAL ANY)
  endif()
endforeach()

file(GLOB_RECURSE programs LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*/bin/*")
foreach(program IN LISTS programs)
  if(IS_SYMLINK "${program}")
    continue()
  endif()
  file(READ "${program}" magic LIMIT 4 HEX)
  if(magic STREQUAL "7f454c46")
    execute_process(COMMAND "${CPACK_TESSALY_STRIP}" --remove-section=.comment --remove-section=.note "${program}"
                    COMMAND_ERROR_IS_FATAL ANY)
  endif()
endforeach()
