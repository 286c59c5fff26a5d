# CPack's post-build step: writes the release ZIP again so that its bytes
# depend on the commit alone, whoever builds it, wherever and whenever.
#
# CPack's own ZIP records the build's file times (the change time too, which
# no one can set), the builder's user and group ids, and the folder order.
# This one holds the staged files in name order, each with its installed
# mode and the commit's time (SOURCE_DATE_EPOCH when set) as UTC, and
# nothing else (zip -X).

if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(epoch "$ENV{SOURCE_DATE_EPOCH}")
else()
  execute_process(COMMAND git log -1 --format=%ct
                  WORKING_DIRECTORY "${CPACK_TORVELIN_SOURCE_DIR}"
                  OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "no commit to date the ZIP by: set SOURCE_DATE_EPOCH")
  endif()
endif()

set(dir "${CPACK_TEMPORARY_DIRECTORY}")
file(GLOB members RELATIVE "${dir}" "${dir}/*")
execute_process(COMMAND touch -d "@${epoch}" ${members}
                WORKING_DIRECTORY "${dir}" COMMAND_ERROR_IS_FATAL ANY)
foreach(zip IN LISTS CPACK_PACKAGE_FILES)
  file(REMOVE "${zip}")
  execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC
                          zip -X -q "${zip}" ${members}
                  WORKING_DIRECTORY "${dir}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
