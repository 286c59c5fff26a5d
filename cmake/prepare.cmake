# CPack's project config file (CPACK_PROJECT_CONFIG_FILE): CPack reads it
# as it starts to pack, before anything else it does. In this order it:
#  1. removes the ZIP that an earlier run left at the release path, so that
#     a packing that fails at any step leaves none; one that cannot be
#     removed stops it;
#  2. checks the releaser's settings and the programs packing calls
#     (cmake/settings.cmake);
#  3. builds this tree and brings the x86 tree up to date (its target
#     torvelin_x86), showing the compiler's words when a build fails,
#     so that CPack's own build (its preinstall step) finds both current
#     and a ZIP never holds an executable built from older sources.
# It hands the time, the full path of the PKCS#12 file (empty: no signing),
# the commit the sources differ from (empty: none) and the programs to call
# on to pack.cmake in CPACK_TORVELIN_EPOCH, CPACK_TORVELIN_SIGN_PKCS12,
# CPACK_TORVELIN_DIRTY, CPACK_TORVELIN_SIGNER and CPACK_TORVELIN_ZIP.

include("${CPACK_TORVELIN_SOURCE_DIR}/cmake/settings.cmake")

# 1.
release_clear("${CPACK_PACKAGE_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.zip")

# 2.
release_settings("${CPACK_TORVELIN_SOURCE_DIR}")
set(CPACK_TORVELIN_EPOCH "${release_epoch}")
set(CPACK_TORVELIN_SIGN_PKCS12 "${release_key}")
set(CPACK_TORVELIN_DIRTY "${release_dirty}")
set(CPACK_TORVELIN_SIGNER "${release_signer}")
set(CPACK_TORVELIN_ZIP "${release_zip}")

# 3.
execute_process(COMMAND "${CMAKE_COMMAND}" --build "${CPACK_TORVELIN_TREE}"
                        --target all torvelin_x86
                RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR
    "The build failed, as said above: fix the sources and pack again. "
    "No ZIP was written.")
endif()
