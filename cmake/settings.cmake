# The releaser's settings and the programs that packing calls, checked
# before anything is built: by the release tree's configure step (the
# release workflow's first step) and by cmake/prepare.cmake, which CPack
# reads before it does anything else. Each problem stops with a message
# that says what to do and that no ZIP was written.
#
# release_clear(<folder>) removes from the release folder what earlier runs
# left there: the ZIP of any version, the part of one that a run stopped in
# the middle left (.zip.part) and CPack's description of a run (.json), so
# that the folder holds only what this run makes and a run that fails
# leaves none of them. A file that cannot be removed is an error that
# names it.
#
# release_room(<var> <folder> <bytes>) sets <var> to whether <folder> has
# room for <bytes> more, tried by writing them there.
#
# release_full(<var> <output> <folder>...) tells whether a step that failed
# with <output> failed for want of disk space: it sets <var> to the first
# folder without room for a megabyte, or to all of them when <output> says
# "No space left on device" (a tool may have freed the room it took as it
# stopped), or to empty.
#
# release_settings(<source folder>) sets, in the caller's scope:
#  release_epoch  the time to date the files by: SOURCE_DATE_EPOCH when it
#                 is set, otherwise the commit's (git log -1 --format=%ct)
#                 when the source folder is a git clone;
#  release_key    the full path of the PKCS#12 file to sign with, or empty
#                 for no signing. Any of TORVELIN_SIGN_PKCS12,
#                 TORVELIN_SIGN_PASSWORD (the empty password included) and
#                 TORVELIN_SIGN_TIMESTAMP_URL asks for signing, which needs
#                 the first two. A relative path is taken from the folder
#                 the command runs in, which the shell's PWD names: cpack
#                 itself works in the build tree, so without PWD a relative
#                 path is an error;
#  release_signer, release_zip  the full paths of osslsigncode (when
#                 signing) and zip;
#  release_dirty  in a clone whose tracked files differ from the commit,
#                 that commit's short hash: the ZIP is not its release.

set(release_no_zip "No ZIP was written.")

function(release_clear folder)
  set(names torvelin-*-windows.zip torvelin-*-windows.zip.part
            torvelin-*-windows.json)
  list(TRANSFORM names PREPEND "${folder}/")
  file(GLOB left LIST_DIRECTORIES true ${names})
  if(left)
    file(REMOVE ${left})
    file(GLOB left LIST_DIRECTORIES true ${names})
  endif()
  if(left)
    list(JOIN left ", " left)
    message(FATAL_ERROR
      "Could not remove what earlier runs left in the release folder: "
      "${left} (still there, and not this run's). Make each removable (its "
      "folder writable, the file not immutable), remove it and run the "
      "command again. ${release_no_zip}")
  endif()
endfunction()

function(release_room var folder bytes)
  set(probe "${folder}/.torvelin-room")
  execute_process(COMMAND sh -c "head -c $1 /dev/zero >\"$2\"" sh ${bytes}
                          "${probe}"
                  OUTPUT_QUIET ERROR_QUIET RESULT_VARIABLE failed)
  file(REMOVE "${probe}")
  if(failed)
    set(${var} FALSE PARENT_SCOPE)
  else()
    set(${var} TRUE PARENT_SCOPE)
  endif()
endfunction()

function(release_full var output)
  foreach(folder IN LISTS ARGN)
    if(IS_DIRECTORY "${folder}")
      release_room(room "${folder}" 1048576)
      if(NOT room)
        set(${var} "${folder}" PARENT_SCOPE)
        return()
      endif()
    endif()
  endforeach()
  set(full "")
  if(output MATCHES "No space left on device")
    list(JOIN ARGN " or " full)
  endif()
  set(${var} "${full}" PARENT_SCOPE)
endfunction()

function(release_commit src)
  set(commit_time "" PARENT_SCOPE)
  set(release_dirty "" PARENT_SCOPE)
  release_find(GIT git)
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
  execute_process(COMMAND "${GIT}" log -1 --format=%ct%n%h
                  WORKING_DIRECTORY "${src}" OUTPUT_VARIABLE head
                  ERROR_QUIET RESULT_VARIABLE failed
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(failed)
    return()
  endif()
  string(REPLACE "\n" ";" head "${head}")
  list(GET head 0 time)
  list(GET head 1 commit)
  set(commit_time "${time}" PARENT_SCOPE)
  execute_process(COMMAND "${GIT}" status --porcelain --untracked-files=no
                  WORKING_DIRECTORY "${src}" OUTPUT_VARIABLE changes
                  ERROR_QUIET RESULT_VARIABLE failed)
  if(failed OR NOT changes STREQUAL "")
    set(release_dirty "${commit}" PARENT_SCOPE)
  endif()
endfunction()

# The full path of a program in <var>, looked up as the shell would: on
# PATH alone.
function(release_find var program)
  unset(hit)  # find_program does not search when its variable is set
  find_program(hit ${program} NO_CACHE NO_CMAKE_PATH
               NO_CMAKE_ENVIRONMENT_PATH NO_CMAKE_SYSTEM_PATH)
  set(${var} "${hit}" PARENT_SCOPE)
endfunction()

# A program that packing calls, with the Debian package that brings it.
function(release_needs var program package why)
  release_find(found ${program})
  if(NOT found)
    message(FATAL_ERROR "${why} needs ${program}, which is not on PATH: "
      "install it (apt-get install ${package}). ${release_no_zip}")
  endif()
  set(${var} "${found}" PARENT_SCOPE)
endfunction()

function(release_settings src)
  # The date.
  release_commit("${src}")
  if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(epoch "$ENV{SOURCE_DATE_EPOCH}")
    set(origin "SOURCE_DATE_EPOCH")
  elseif(commit_time STREQUAL "")
    message(FATAL_ERROR
      "No commit to date the ZIP by: ${src} is not a git clone, or git is "
      "not installed. Set SOURCE_DATE_EPOCH to the time of the commit the "
      "sources come from (`git log -1 --format=%ct <commit>` in a clone). "
      "${release_no_zip}")
  else()
    set(epoch "${commit_time}")
    set(origin "The commit's time")
  endif()
  if(NOT epoch MATCHES "^[0-9]+$")
    message(FATAL_ERROR
      "${origin} (`${epoch}`) is not a number: give the seconds since "
      "1970-01-01 00:00:00 UTC, digits only. ${release_no_zip}")
  endif()
  # A ZIP dates its files in DOS form: years 1980 to 2107, even seconds. zip
  # rounds an odd second up, so 2107-12-31 23:59:58 UTC is the last time it
  # holds; past it, and before 1980, it writes 1980-01-01 without a word.
  if(epoch LESS 315532800 OR epoch GREATER 4354819198)
    message(FATAL_ERROR
      "${origin} (${epoch}) is no time a ZIP can hold: seconds since 1970, "
      "from 315532800 (1980-01-01 00:00:00 UTC) to 4354819198 (2107-12-31 "
      "23:59:58 UTC). ${release_no_zip}")
  endif()

  # The signing settings.
  set(key "")
  set(signer "")
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
        "Signing needs both TORVELIN_SIGN_PKCS12 and TORVELIN_SIGN_PASSWORD "
        "(empty for a PKCS#12 file without one). Set: ${given}; not set: "
        "${missing}. Set none of the three for an unsigned release. "
        "${release_no_zip}")
    endif()
    set(key "$ENV{TORVELIN_SIGN_PKCS12}")
    set(caller "$ENV{PWD}")
    set(from "")
    if(NOT key STREQUAL "" AND NOT IS_ABSOLUTE "${key}")
      if(NOT IS_ABSOLUTE "${caller}" OR NOT IS_DIRECTORY "${caller}")
        message(FATAL_ERROR
          "TORVELIN_SIGN_PKCS12 (`${key}`) is a relative path, and PWD "
          "names no folder to take it from: give the file's full path. "
          "${release_no_zip}")
      endif()
      file(REAL_PATH "${key}" key BASE_DIRECTORY "${caller}")
      set(from ", taken from ${caller}")
    endif()
    if(key STREQUAL "" OR IS_DIRECTORY "${key}" OR NOT EXISTS "${key}")
      message(FATAL_ERROR
        "TORVELIN_SIGN_PKCS12 (`$ENV{TORVELIN_SIGN_PKCS12}`) names no "
        "file${from}: give the path of the PKCS#12 file. ${release_no_zip}")
    endif()
    release_needs(signer osslsigncode osslsigncode "Signing")
  endif()

  # The programs packing calls besides CMake's own.
  release_needs(zip zip zip "Packing")

  set(release_epoch "${epoch}" PARENT_SCOPE)
  set(release_key "${key}" PARENT_SCOPE)
  set(release_signer "${signer}" PARENT_SCOPE)
  set(release_zip "${zip}" PARENT_SCOPE)
  set(release_dirty "${release_dirty}" PARENT_SCOPE)
endfunction()
