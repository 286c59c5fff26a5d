# CPack's project config file (CPACK_PROJECT_CONFIG_FILE): CPack reads it
# as it starts to pack, before anything else it does. In this order it:
#  1. removes the ZIPs, their parts and the .json that earlier runs left in
#     the release folder, so that a packing that fails at any step leaves
#     none; one that cannot be removed stops it;
#  2. checks the releaser's settings and the programs packing calls
#     (cmake/settings.cmake);
#  3. builds this tree and brings the x86 tree up to date (its target
#     torvelin_x86), showing the compiler's words when a build fails,
#     so that CPack's own build (its preinstall step) finds both current
#     and a ZIP never holds an executable built from older sources; a
#     build that fails for want of disk space says so, naming the folder;
#  4. makes sure that CPack's staging folder has room for the files it
#     copies there, the signed executables and the ZIP, since CPack's own
#     copying would stop with its own words alone.
# It hands the time, the full path of the PKCS#12 file (empty: no signing),
# the commit the sources differ from (empty: none) and the programs to call
# on to pack.cmake in CPACK_TORVELIN_EPOCH, CPACK_TORVELIN_SIGN_PKCS12,
# CPACK_TORVELIN_DIRTY, CPACK_TORVELIN_SIGNER and CPACK_TORVELIN_ZIP.

include("${CPACK_TORVELIN_SOURCE_DIR}/cmake/settings.cmake")

# 1.
release_clear("${CPACK_PACKAGE_DIRECTORY}")

# 2.
release_settings("${CPACK_TORVELIN_SOURCE_DIR}")
set(CPACK_TORVELIN_EPOCH "${release_epoch}")
set(CPACK_TORVELIN_SIGN_PKCS12 "${release_key}")
set(CPACK_TORVELIN_DIRTY "${release_dirty}")
set(CPACK_TORVELIN_SIGNER "${release_signer}")
set(CPACK_TORVELIN_ZIP "${release_zip}")

# 3. A full disk shows in many tools' words (ar's "No space left on
# device", windres's "no resources" for an empty file), or in none once
# make has removed what it left half written: release_full tells.
execute_process(COMMAND "${CMAKE_COMMAND}" --build "${CPACK_TORVELIN_TREE}"
                        --target all torvelin_x86
                OUTPUT_VARIABLE out ERROR_VARIABLE out
                ECHO_OUTPUT_VARIABLE ECHO_ERROR_VARIABLE
                RESULT_VARIABLE failed)
if(failed)
  release_full(full "${out}" "${CPACK_TORVELIN_TREE}"
               "${CPACK_TORVELIN_X86_TREE}")
  if(NOT full STREQUAL "")
    message(FATAL_ERROR "The build stopped for want of disk space: no space "
      "left in ${full}. Make room there and pack again. ${release_no_zip}")
  endif()
  message(FATAL_ERROR
    "The build failed, as said above: fix the sources and pack again. "
    "${release_no_zip}")
endif()

# 4. The staged files, their signed copies and the ZIP, with room to spare.
set(need 65536)
foreach(file "${CPACK_TORVELIN_TREE}/torvelin.exe"
             "${CPACK_TORVELIN_X86_TREE}/torvelin.exe"
             "${CPACK_TORVELIN_TREE}/README.txt"
             "${CPACK_TORVELIN_TREE}/LICENSE")
  file(SIZE "${file}" size)
  math(EXPR need "${need} + 3 * ${size}")
endforeach()
set(staging "${CPACK_PACKAGE_DIRECTORY}/_CPack_Packages")
file(MAKE_DIRECTORY "${staging}")
release_room(room "${staging}" ${need})
if(NOT room)
  message(FATAL_ERROR "No room to stage the release: ${staging} needs "
    "${need} bytes free. Make room there and pack again. ${release_no_zip}")
endif()
