# Brings the x86 executable up to date with the sources, whatever is left
# of its tree: configures the tree (anew where its cache is gone, a quick
# check that regenerates what is missing where it is there) and builds it.
# Run with cmake -P by the packing trees' target torvelin_x86, which the
# release tree's build and cmake/prepare.cmake build, so that a ZIP never
# holds an x86 executable built from older sources. Set with -D: src (the source
# folder), tree (the x86 build tree), type (CMAKE_BUILD_TYPE) and werror
# (TORVELIN_WERROR). A step that fails shows its output and stops, naming
# a full disk as the cause where it is one.

include("${src}/cmake/settings.cmake")

foreach(step configure build)
  if(step STREQUAL "configure")
    # A tree that has its cache keeps its settings.
    set(argv -S "${src}" -B "${tree}")
    if(NOT EXISTS "${tree}/CMakeCache.txt")
      list(APPEND argv
           "-DCMAKE_TOOLCHAIN_FILE=${src}/cmake/mingw-w64-i686.cmake"
           "-DCMAKE_BUILD_TYPE=${type}" "-DTORVELIN_WERROR=${werror}")
    endif()
  else()
    set(argv --build "${tree}" --target torvelin)
  endif()
  execute_process(COMMAND "${CMAKE_COMMAND}" ${argv}
                  OUTPUT_VARIABLE out ERROR_VARIABLE out
                  RESULT_VARIABLE failed)
  if(failed)
    release_full(full "${out}" "${tree}")
    set(fix "Fix what is said above")
    if(NOT full STREQUAL "")
      set(fix "No space left in ${full}: make room there")
    endif()
    message(FATAL_ERROR "Could not ${step} the x86 build in ${tree}:\n${out}"
                        "${fix} and run the command again.")
  endif()
endforeach()
