# CPack's project config file (CPACK_PROJECT_CONFIG_FILE): CPack reads it
# as it starts to pack, before anything else it does: before it builds the
# tree (its preinstall step), before the install scripts bring the x86
# executable up to date (cmake/fresh.cmake) and before the package script
# (cmake/pack.cmake). In this order it:
#  1. removes the ZIP that an earlier run left at the release path, so that
#     a packing that fails at any step leaves none;
#  2. takes the time to date the files by: SOURCE_DATE_EPOCH when it is set,
#     otherwise the commit's (git log -1 --format=%ct) when the source tree
#     is a git clone. It stops with neither, and with a time that a ZIP
#     cannot hold;
#  3. checks the signing settings. Any of TORVELIN_SIGN_PKCS12,
#     TORVELIN_SIGN_PASSWORD and TORVELIN_SIGN_TIMESTAMP_URL asks for
#     signing, which needs the first two, a PKCS#12 file where the first
#     names it and osslsigncode. A relative path is taken from the folder
#     the command runs in, which the shell's PWD names: cpack itself works
#     in the build tree.
# It hands the time and the full path of the PKCS#12 file (empty: no
# signing) on to pack.cmake in CPACK_TORVELIN_EPOCH and
# CPACK_TORVELIN_SIGN_PKCS12. Each stop comes before any ZIP is written.

# 1.
file(REMOVE "${CPACK_PACKAGE_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.zip")

# 2.
function(commit_time src out)
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
  commit_time("${CPACK_TORVELIN_SOURCE_DIR}" epoch)
  set(origin "the commit's time")
  if(epoch STREQUAL "")
    message(FATAL_ERROR
      "No commit to date the ZIP by: ${CPACK_TORVELIN_SOURCE_DIR} is not a "
      "git clone, or git is not installed. Set SOURCE_DATE_EPOCH to the "
      "time of the commit the sources come from (`git log -1 --format=%ct "
      "<commit>` in a clone). No ZIP was written.")
  endif()
endif()
# A ZIP dates its files in DOS form: years 1980 to 2107, even seconds. zip
# rounds an odd second up, so 2107-12-31 23:59:58 UTC is the last time it
# holds; past it, and before 1980, it writes 1980-01-01 without a word.
if(NOT epoch MATCHES "^[0-9]+$" OR epoch LESS 315532800
   OR epoch GREATER 4354819198)
  message(FATAL_ERROR
    "${origin} (${epoch}) is no time a ZIP can hold: seconds since 1970, "
    "from 315532800 (1980-01-01 00:00:00 UTC) to 4354819198 (2107-12-31 "
    "23:59:58 UTC). No ZIP was written.")
endif()
set(CPACK_TORVELIN_EPOCH "${epoch}")

# 3.
set(CPACK_TORVELIN_SIGN_PKCS12 "")
set(given)
set(missing)
foreach(setting PKCS12 PASSWORD TIMESTAMP_URL)
  if(DEFINED ENV{TORVELIN_SIGN_${setting}})
    list(APPEND given TORVELIN_SIGN_${setting})
  elseif(NOT setting STREQUAL "TIMESTAMP_URL")
    list(APPEND missing TORVELIN_SIGN_${setting})
  endif()
endforeach()
if(given)
  if(missing)
    list(JOIN given ", " given)
    list(JOIN missing ", " missing)
    message(FATAL_ERROR
      "Signing needs both TORVELIN_SIGN_PKCS12 and TORVELIN_SIGN_PASSWORD. "
      "Set: ${given}; not set: ${missing}. Set none of the three for an "
      "unsigned release. No ZIP was written.")
  endif()
  set(caller "$ENV{PWD}")
  if(NOT IS_ABSOLUTE "${caller}" OR NOT IS_DIRECTORY "${caller}")
    execute_process(COMMAND pwd -P OUTPUT_VARIABLE caller
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
  endif()
  set(key "$ENV{TORVELIN_SIGN_PKCS12}")
  if(NOT key STREQUAL "")
    file(REAL_PATH "${key}" key BASE_DIRECTORY "${caller}")
  endif()
  if(key STREQUAL "" OR IS_DIRECTORY "${key}" OR NOT EXISTS "${key}")
    message(FATAL_ERROR
      "TORVELIN_SIGN_PKCS12 (`$ENV{TORVELIN_SIGN_PKCS12}`) names no file, "
      "taken from ${caller}. No ZIP was written.")
  endif()
  find_program(OSSLSIGNCODE osslsigncode)
  if(NOT OSSLSIGNCODE)
    message(FATAL_ERROR "Signing needs osslsigncode (apt-get install "
                        "osslsigncode). No ZIP was written.")
  endif()
  set(CPACK_TORVELIN_SIGN_PKCS12 "${key}")
endif()
