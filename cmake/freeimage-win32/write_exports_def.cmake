# Writes the definition file that exports each DLL_API function of
# FreeImage.h under its decorated standard-call name. The names come from
# the header, the argument bytes from the compiled objects (`FreeImage_X@N`),
# so that every export has the size its C declaration gives it.
file(READ ${HEADER} header)
string(REGEX MATCHALL "DLL_API[^;(]*DLL_CALLCONV[ \t*]*([A-Za-z0-9_]+)[ \t]*\\(" declarations "${header}")
set(declared "")
foreach(declaration ${declarations})
  string(REGEX REPLACE ".*DLL_CALLCONV[ \t*]*([A-Za-z0-9_]+)[ \t]*\\($" "\\1" name "${declaration}")
  list(APPEND declared ${name})
endforeach()
list(REMOVE_DUPLICATES declared)

file(STRINGS ${OBJECT_LIST} objects)
execute_process(COMMAND ${NM} --defined-only -g ${objects} OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL " T _[A-Za-z0-9_]+(@[0-9]+)?\n" defined "${symbols}")
set(lines "")
set(missing "")
foreach(name ${declared})
  set(line "")
  foreach(symbol ${defined})
    if(symbol MATCHES " T _${name}@([0-9]+)\n$")
      set(line "_${name}@${CMAKE_MATCH_1} = ${name}@${CMAKE_MATCH_1}")
    elseif(symbol MATCHES " T _${name}\n$")
      # A variadic function falls back to the C convention, which the
      # release exports undecorated.
      set(line "${name}")
    endif()
  endforeach()
  if(line STREQUAL "")
    list(APPEND missing ${name})
  else()
    list(APPEND lines "${line}")
  endif()
endforeach()
list(SORT lines)
list(LENGTH lines count)
# The lossless JPEG transforms and crops are declared (inside `#if 0`) but
# left out of Debian's source.
list(FILTER missing EXCLUDE REGEX "^FreeImage_JPEG(Transform|Crop)")
if(missing)
  message(FATAL_ERROR "FreeImage.h declares functions that no object defines: ${missing}")
endif()
string(REPLACE ";" "\n" body "${lines}")
file(WRITE ${OUTPUT} "LIBRARY FreeImage.dll\nEXPORTS\n${body}\n")
message(STATUS "FreeImage.dll exports ${count} functions")
