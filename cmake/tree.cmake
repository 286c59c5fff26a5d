# CPack's input file for the package presets (their configFile, read in
# place of the tree's CPackConfig.cmake): the tree's own CPackConfig.cmake,
# the tree first configured by its configure preset where it has none (a
# fresh clone, a deleted tree), so that `cpack --preset` packs from
# nothing. The preset names them in its environment: TORVELIN_PACK_PRESET
# (the configure preset) and TORVELIN_PACK_TREE (its build tree). CPack
# packs into the tree unless told another folder (-B).

set(tree "$ENV{TORVELIN_PACK_TREE}")
if(NOT EXISTS "${tree}/CPackConfig.cmake")
  execute_process(COMMAND "${CMAKE_COMMAND}" --preset
                          "$ENV{TORVELIN_PACK_PRESET}"
                  WORKING_DIRECTORY "${CMAKE_CURRENT_LIST_DIR}/.."
                  RESULT_VARIABLE failed)
  if(failed OR NOT EXISTS "${tree}/CPackConfig.cmake")
    message(FATAL_ERROR "Could not configure ${tree}, as said above: run "
      "`cmake --preset $ENV{TORVELIN_PACK_PRESET}` once it works. No ZIP "
      "was written.")
  endif()
endif()
include("${tree}/CPackConfig.cmake")
if(NOT DEFINED CPACK_PACKAGE_DIRECTORY)
  set(CPACK_PACKAGE_DIRECTORY "${tree}")
endif()
