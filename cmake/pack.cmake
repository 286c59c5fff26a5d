# CPack's package script (the External generator): makes the release ZIP
# from the staged files, so that its bytes depend on the commit alone,
# whoever packs it, wherever and whenever.
#
# CPack has staged the two executables, README.txt and LICENSE in
# CPACK_TEMPORARY_DIRECTORY. cmake/prepare.cmake, which CPack read first, has
# removed what earlier runs left in the release folder, and handed on
# the time to date the files by (CPACK_TORVELIN_EPOCH), the PKCS#12 file to
# sign with (CPACK_TORVELIN_SIGN_PKCS12, empty for no signing), the commit
# the sources differ from (CPACK_TORVELIN_DIRTY) and the programs to call
# (CPACK_TORVELIN_SIGNER, CPACK_TORVELIN_ZIP). This script, in this order:
#  1. signs both executables when there is a PKCS#12 file (Authenticode,
#     SHA-256, osslsigncode, with the password TORVELIN_SIGN_PASSWORD;
#     TORVELIN_SIGN_TIMESTAMP_URL adds an RFC 3161 timestamp);
#  2. writes SHA256SUMS of the executables as they are shipped;
#  3. writes the ZIP into CPack's own folder: the files in name order, each
#     with its installed mode and that time as UTC, and nothing else
#     (zip -X);
#  4. puts the ZIP in the release folder: copied there under a name of its
#     own and renamed, since a rename within a folder happens whole or not
#     at all, so a full disk leaves no part of a ZIP. CPack then copies its
#     description of the run (the .json, which it writes only after this
#     script) beside it and finds the ZIP in place; a stand-in of the .json
#     put there first keeps room for that copy.
# Each failure stops CPack before the ZIP is in place, naming its cause: a
# full disk as such (release_full), not as a fault of the settings.

include("${CPACK_TORVELIN_SOURCE_DIR}/cmake/settings.cmake")

set(dir "${CPACK_TEMPORARY_DIRECTORY}")
set(name "${CPACK_PACKAGE_FILE_NAME}.zip")
set(exes torvelin-x64.exe torvelin-x86.exe)

# 1.
if(NOT CPACK_TORVELIN_SIGN_PKCS12 STREQUAL "")
  set(timestamp)
  if(NOT "$ENV{TORVELIN_SIGN_TIMESTAMP_URL}" STREQUAL "")
    set(timestamp -ts "$ENV{TORVELIN_SIGN_TIMESTAMP_URL}")
  endif()
  # osslsigncode refuses an empty password read from a file; a PKCS#12 file
  # without a password opens when it is given none.
  set(password)
  if(NOT "$ENV{TORVELIN_SIGN_PASSWORD}" STREQUAL "")
    set(password -readpass /dev/stdin)
  endif()
  foreach(exe IN LISTS exes)
    set(signed "${CPACK_TOPLEVEL_DIRECTORY}/signed-${exe}")
    file(REMOVE "${signed}")
    # The password goes to osslsigncode through a pipe: on no command line,
    # in no file.
    execute_process(
      COMMAND sh -c "printf %s \"$TORVELIN_SIGN_PASSWORD\" | \"$@\"" sh
              "${CPACK_TORVELIN_SIGNER}" sign
              -pkcs12 "${CPACK_TORVELIN_SIGN_PKCS12}" ${password}
              -h sha256 -n TORVELIN ${timestamp}
              -in "${dir}/${exe}" -out "${signed}"
      OUTPUT_VARIABLE out ERROR_VARIABLE out RESULT_VARIABLE failed)
    if(failed)
      file(REMOVE "${signed}")
      release_full(full "${out}" "${CPACK_TOPLEVEL_DIRECTORY}")
      if(NOT full STREQUAL "")
        message(FATAL_ERROR "Could not sign ${exe}:\n${out}No space left in "
          "${full}: make room there and pack again. ${release_no_zip}")
      endif()
      message(FATAL_ERROR "Could not sign ${exe}:\n${out}Check "
        "TORVELIN_SIGN_PKCS12, TORVELIN_SIGN_PASSWORD and "
        "TORVELIN_SIGN_TIMESTAMP_URL and pack again. No ZIP was written.")
    endif()
    file(RENAME "${signed}" "${dir}/${exe}")
    file(CHMOD "${dir}/${exe}" PERMISSIONS OWNER_READ OWNER_WRITE
         OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    message(STATUS "Signed ${exe}")
  endforeach()
endif()

# 2.
set(sums "")
foreach(exe IN LISTS exes)
  file(SHA256 "${dir}/${exe}" sum)
  string(APPEND sums "${sum}  ${exe}\n")
endforeach()
file(WRITE "${dir}/SHA256SUMS" "${sums}")
file(CHMOD "${dir}/SHA256SUMS" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ
     WORLD_READ)

# 3.
file(GLOB members RELATIVE "${dir}" "${dir}/*")
execute_process(COMMAND touch -d "@${CPACK_TORVELIN_EPOCH}" ${members}
                WORKING_DIRECTORY "${dir}" COMMAND_ERROR_IS_FATAL ANY)
set(zip "${CPACK_TOPLEVEL_DIRECTORY}/${name}")
file(REMOVE "${zip}")
execute_process(COMMAND "${CMAKE_COMMAND}" -E env TZ=UTC
                        "${CPACK_TORVELIN_ZIP}" -X -q "${zip}" ${members}
                WORKING_DIRECTORY "${dir}" RESULT_VARIABLE failed
                OUTPUT_VARIABLE out ERROR_VARIABLE out
                ECHO_OUTPUT_VARIABLE ECHO_ERROR_VARIABLE)
if(failed)
  file(REMOVE "${zip}")
  release_full(full "${out}" "${CPACK_TOPLEVEL_DIRECTORY}")
  if(NOT full STREQUAL "")
    message(FATAL_ERROR "zip failed: no space left in ${full}. Make room "
                        "there and pack again. ${release_no_zip}")
  endif()
  message(FATAL_ERROR "zip failed (${failed}), as said above: pack again "
                      "once it works. No ZIP was written.")
endif()

# 4.
set(release "${CPACK_PACKAGE_DIRECTORY}/${name}")
set(json "${CPACK_PACKAGE_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.json")
file(REMOVE "${release}.part" "${json}")
execute_process(COMMAND sh -c "head -c 4096 /dev/zero >\"$1\"" sh "${json}"
                OUTPUT_QUIET ERROR_VARIABLE failed RESULT_VARIABLE status)
if(status)
  # The system's words alone: "No space left on device", say.
  string(REGEX REPLACE ".*: ([^:\n]+)\n?$" "\\1" failed "${failed}")
else()
  file(COPY_FILE "${zip}" "${release}.part" RESULT failed)
  if(NOT failed)
    file(RENAME "${release}.part" "${release}" RESULT failed)
  endif()
endif()
if(failed)
  file(REMOVE "${release}.part" "${json}")
  set(fix "make its folder writable")
  if(failed MATCHES "No space left")
    # In one wording whatever CMake's (3.31 adds " (output)").
    set(failed "No space left on device")
    set(fix "make room in its folder")
  endif()
  message(FATAL_ERROR "Could not put ${release} in place (${failed}): "
                      "${fix} and pack again. ${release_no_zip}")
endif()
set(CPACK_EXTERNAL_BUILT_PACKAGES "${release}")
if(NOT CPACK_TORVELIN_DIRTY STREQUAL "")
  message(WARNING
    "${name} holds uncommitted changes: its sources are not those of "
    "commit ${CPACK_TORVELIN_DIRTY}, so it is not that commit's release (it "
    "is dated by it all the same). For a release, commit the changes (or "
    "set them aside with `git stash`) and pack again.")
endif()
