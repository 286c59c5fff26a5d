# CPack's package script (the External generator): makes the release ZIP
# from the staged files, so that its bytes depend on the commit alone,
# whoever packs it, wherever and whenever.
#
# CPack has staged the two executables, README.txt and LICENSE in
# CPACK_TEMPORARY_DIRECTORY. This script, in this order:
#  1. removes any ZIP that an earlier run left at the release path, so that
#     a run that fails leaves none;
#  2. takes the time to date the files by: SOURCE_DATE_EPOCH when it is set,
#     otherwise the commit's (git log -1 --format=%ct) when the source tree
#     is a git clone; with neither it stops, before any ZIP is written;
#  3. signs both executables when TORVELIN_SIGN_PKCS12 and
#     TORVELIN_SIGN_PASSWORD are set (Authenticode, SHA-256, osslsigncode;
#     TORVELIN_SIGN_TIMESTAMP_URL adds an RFC 3161 timestamp);
#  4. writes SHA256SUMS of the executables as they are shipped;
#  5. writes the ZIP into CPack's own folder: the files in name order, each
#     with its installed mode and that time as UTC, and nothing else
#     (zip -X). Only a ZIP written whole is handed to CPack, which copies it
#     to the release path; any failure stops CPack before that.

set(src "${CPACK_TORVELIN_SOURCE_DIR}")
set(dir "${CPACK_TEMPORARY_DIRECTORY}")
set(name "${CPACK_PACKAGE_FILE_NAME}.zip")
set(exes torvelin-x64.exe torvelin-x86.exe)

# 1.
file(REMOVE "${CPACK_PACKAGE_DIRECTORY}/${name}")

# 2.
function(commit_time out)
  set(${out} "" PARENT_SCOPE)
  find_program(GIT git)
  if(NOT GIT)
    return()
  endif()
  # A source archive unpacked inside some other clone is no clone itself.
  execute_process(COMMAND "${GIT}" rev-parse --show-toplevel
                  WORKING_DIRECTORY "${src}" OUTPUT_VARIABLE top
                  ERROR_QUIET RESULT_VARIABLE failed
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(failed)
    return()
  endif()
  file(REAL_PATH "${top}" top)
  file(REAL_PATH "${src}" real_src)
  if(NOT top STREQUAL real_src)
    return()
  endif()
  execute_process(COMMAND "${GIT}" log -1 --format=%ct
                  WORKING_DIRECTORY "${src}" OUTPUT_VARIABLE time
                  ERROR_QUIET RESULT_VARIABLE failed
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT failed)
    set(${out} "${time}" PARENT_SCOPE)
  endif()
endfunction()

if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(epoch "$ENV{SOURCE_DATE_EPOCH}")
  set(origin "SOURCE_DATE_EPOCH")
else()
  commit_time(epoch)
  set(origin "the commit's time")
  if(epoch STREQUAL "")
    message(FATAL_ERROR
      "No commit to date the ZIP by: ${src} is not a git clone, or git is "
      "not installed. Set SOURCE_DATE_EPOCH to the time of the commit the "
      "sources come from (`git log -1 --format=%ct <commit>` in a clone). "
      "No ZIP was written.")
  endif()
endif()
# A ZIP dates its files from 1980 on.
if(NOT epoch MATCHES "^[0-9]+$" OR epoch LESS 315532800)
  message(FATAL_ERROR
    "${origin} (${epoch}) is no time a ZIP can hold: seconds since 1970, "
    "1980 or later. No ZIP was written.")
endif()

# 3.
if(DEFINED ENV{TORVELIN_SIGN_PKCS12} OR DEFINED ENV{TORVELIN_SIGN_PASSWORD})
  if(NOT DEFINED ENV{TORVELIN_SIGN_PKCS12}
     OR NOT DEFINED ENV{TORVELIN_SIGN_PASSWORD})
    message(FATAL_ERROR
      "Signing needs both TORVELIN_SIGN_PKCS12 and TORVELIN_SIGN_PASSWORD "
      "(set neither for an unsigned release). No ZIP was written.")
  endif()
  # A relative path is taken from the folder cpack runs in, as
  # osslsigncode runs there too.
  set(key "$ENV{TORVELIN_SIGN_PKCS12}")
  find_program(OSSLSIGNCODE osslsigncode)
  if(NOT OSSLSIGNCODE)
    message(FATAL_ERROR "Signing needs osslsigncode (apt-get install "
                        "osslsigncode). No ZIP was written.")
  endif()
  set(timestamp)
  if(NOT "$ENV{TORVELIN_SIGN_TIMESTAMP_URL}" STREQUAL "")
    set(timestamp -ts "$ENV{TORVELIN_SIGN_TIMESTAMP_URL}")
  endif()
  foreach(exe IN LISTS exes)
    set(signed "${CPACK_TOPLEVEL_DIRECTORY}/signed-${exe}")
    file(REMOVE "${signed}")
    # The password goes to osslsigncode through a pipe: on no command line,
    # in no file.
    execute_process(
      COMMAND sh -c "printf %s \"$TORVELIN_SIGN_PASSWORD\" | \"$@\"" sh
              "${OSSLSIGNCODE}" sign -pkcs12 "${key}" -readpass /dev/stdin
              -h sha256 -n TORVELIN ${timestamp}
              -in "${dir}/${exe}" -out "${signed}"
      OUTPUT_VARIABLE out ERROR_VARIABLE out RESULT_VARIABLE failed)
    if(failed)
      file(REMOVE "${signed}")
      message(FATAL_ERROR "Could not sign ${exe}:\n${out}No ZIP was written.")
    endif()
    file(RENAME "${signed}" "${dir}/${exe}")
    file(CHMOD "${dir}/${exe}" PERMISSIONS OWNER_READ OWNER_WRITE
         OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    message(STATUS "Signed ${exe}")
  endforeach()
endif()

# 4.
set(sums "")
foreach(exe IN LISTS exes)
  file(SHA256 "${dir}/${exe}" sum)
  string(APPEND sums "${sum}  ${exe}\n")
endforeach()
file(WRITE "${dir}/SHA256SUMS" "${sums}")
file(CHMOD "${dir}/SHA256SUMS" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ
     WORLD_READ)

# 5.
file(GLOB members RELATIVE "${dir}" "${dir}/*")
execute_process(COMMAND touch -d "@${epoch}" ${members}
                WORKING_DIRECTORY "${dir}" COMMAND_ERROR_IS_FATAL ANY)
set(zip "${CPACK_TOPLEVEL_DIRECTORY}/${name}")
file(REMOVE "${zip}")
execute_process(COMMAND "${CMAKE_COMMAND}" -E env TZ=UTC
                        zip -X -q "${zip}" ${members}
                WORKING_DIRECTORY "${dir}" RESULT_VARIABLE failed)
if(failed)
  file(REMOVE "${zip}")
  message(FATAL_ERROR "zip failed (${failed}). No ZIP was written.")
endif()
set(CPACK_EXTERNAL_BUILT_PACKAGES "${zip}")
