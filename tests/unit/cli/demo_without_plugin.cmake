# Runs the demonstration host beside the library but without any toolkit plug-in: it must
# report the failed steps and end with exit code 1 (not 0, not a crash).
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(COPY ${HOST} ${LIBRARY} DESTINATION ${WORK})
get_filename_component(host_name ${HOST} NAME)
execute_process(COMMAND ${WORK}/${host_name} demo --both RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
file(REMOVE_RECURSE ${WORK})
if(NOT rc STREQUAL "1")
  message(FATAL_ERROR "exit code ${rc} without a plug-in (1 expected):\n${out}${err}")
endif()
if(NOT out MATCHES "FAIL  ")
  message(FATAL_ERROR "no failed step shown:\n${out}")
endif()
