# The install step's first part, and so CPack's: brings the x86 executable
# up to date with the sources before it is copied, so that a ZIP never holds
# one built from older sources (a no-op when it is current). CPack builds
# the x64 tree itself first (its preinstall step). The x86 executable's tree
# has to exist; without it packing stops and says what to run. Set by the
# install code before this: x86_tree, x86_missing, and cmake (the cmake
# command that configured the project).

if(NOT EXISTS "${x86_tree}/CMakeCache.txt")
  message(FATAL_ERROR "No x86 build in ${x86_tree} to pack: ${x86_missing}.")
endif()
message(STATUS "Bringing ${x86_tree}/torvelin.exe up to date")
execute_process(COMMAND "${cmake}" --build "${x86_tree}" --target torvelin
                OUTPUT_VARIABLE out ERROR_VARIABLE out RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "Could not build ${x86_tree}/torvelin.exe:\n${out}")
endif()
