# Turns resources/KARVErrMsg.strings into a C++ table for karv_protocol.
# Run as: cmake -DINPUT=<strings file> -DOUTPUT=<cpp file> -P ErrMsgTable.cmake
file(READ "${INPUT}" content)
string(FIND "${content}" ";" semicolon)
if(NOT semicolon EQUAL -1)
  message(FATAL_ERROR "${INPUT}: a text holds a semicolon")
endif()
string(REPLACE "\r" "" content "${content}")
string(REPLACE "\n" ";" lines "${content}")

set(entries "")
set(seen "")
set(number 0)
foreach(line IN LISTS lines)
  math(EXPR number "${number} + 1")
  string(STRIP "${line}" line)
  if(line STREQUAL "" OR line MATCHES "^//")
    continue()
  endif()
  if(NOT line MATCHES [=[^"(-?[0-9]+)"[ 	]*=[ 	]*"([^"\]+)"$]=])
    message(FATAL_ERROR "${INPUT}:${number}: not a \"code\" = \"text\" line")
  endif()
  set(code "${CMAKE_MATCH_1}")
  set(text "${CMAKE_MATCH_2}")
  list(FIND seen "${code}" already)
  if(NOT already EQUAL -1)
    message(FATAL_ERROR "${INPUT}:${number}: code ${code} appears twice")
  endif()
  list(APPEND seen "${code}")
  string(APPEND entries "    {${code}, \"${text}\"},\n")
endforeach()

set(generated "// Generated from KARVErrMsg.strings by cmake/ErrMsgTable.cmake; edit that file instead.
#include \"protocol/ErrMsgTable.h\"

namespace karv {

std::span<const ErrMsgEntry> errMsgEntries() {
  static constexpr ErrMsgEntry kEntries[] = {
${entries}  };
  return kEntries;
}

}  // namespace karv
")
# Rewrite only on change, so an unchanged table does not rebuild the library.
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" previous)
  if(previous STREQUAL generated)
    return()
  endif()
endif()
file(WRITE "${OUTPUT}" "${generated}")
