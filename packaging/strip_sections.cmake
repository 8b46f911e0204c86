# Run by CPack on the staged files before it packs them: removes from the
# programs the sections Debian's strip step removes (.comment, .note), which
# CPack's plain strip keeps.
find_program(STRIP_EXECUTABLE NAMES strip REQUIRED)
file(GLOB programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin/*")
if(NOT programs)
  message(FATAL_ERROR "strip_sections.cmake: no programs under ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin")
endif()
foreach(program IN LISTS programs)
  execute_process(COMMAND ${STRIP_EXECUTABLE} --remove-section=.comment --remove-section=.note ${program}
                  RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "strip_sections.cmake: strip failed on ${program}")
  endif()
endforeach()
