# The tool's fixed texts as the tests expect them, written down once in
# test/texts/ (which test/expected.py reads too), made into the header
# test/texts.h for the C++ tests of the including directory: each file's
# lines as C string literals, separated by commas.
set(texts_dir ${CMAKE_CURRENT_LIST_DIR}/texts)
foreach(name usage labels open_error query_error version_error
        error_report_tail error_wording out_of_memory_abort)
  set(file ${texts_dir}/${name}.txt)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
  file(READ ${file} text)
  string(REGEX REPLACE "\n$" "" text "${text}")
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  string(REPLACE "\n" "\",\n    \"" ${name} "\"${text}\"")
endforeach()
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/texts/test/texts.h @ONLY CONTENT [[
// Made by test/texts.cmake from test/texts/*.txt.
#ifndef TORVELIN_TEST_TEXTS_H_
#define TORVELIN_TEST_TEXTS_H_

inline constexpr const char* kUsageLines[] = {
    @usage@,
};
inline constexpr const char* kLabels[] = {
    @labels@,
};
inline constexpr char kOpenError[] = @open_error@;
inline constexpr char kQueryError[] = @query_error@;
inline constexpr char kVersionError[] = @version_error@;
inline constexpr const char* kErrorReportTail[] = {
    @error_report_tail@,
};
inline constexpr const char* kErrorWording[] = {
    @error_wording@,
};
inline constexpr const char* kOutOfMemoryAbortLines[] = {
    @out_of_memory_abort@,
};

#endif  // TORVELIN_TEST_TEXTS_H_
]])
include_directories(${CMAKE_BINARY_DIR}/texts)
