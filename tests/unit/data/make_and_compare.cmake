# Runs TOOL INPUT OUTPUT and checks that OUTPUT equals EXPECTED byte for byte.
foreach(var TOOL INPUT OUTPUT EXPECTED)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} not given")
  endif()
endforeach()
file(REMOVE ${OUTPUT})
execute_process(COMMAND ${TOOL} ${INPUT} ${OUTPUT} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${TOOL} ${INPUT} ${OUTPUT} failed: ${result}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUTPUT} ${EXPECTED}
  RESULT_VARIABLE different)
if(NOT different EQUAL 0)
  message(FATAL_ERROR "${EXPECTED} is not what ${INPUT} makes (${OUTPUT}); "
    "refresh it with the target tessivar_regenerate_data")
endif()
