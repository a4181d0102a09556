# cmake -DPROGRAM=… -DOPTION=… -DOUT=… -P run_to_file.cmake: the program's standard output for
# the option, written to OUT (the build's manual pages and completion scripts).
get_filename_component(dir ${OUT} DIRECTORY)
file(MAKE_DIRECTORY ${dir})
execute_process(COMMAND ${PROGRAM} ${OPTION} OUTPUT_FILE ${OUT}.new RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  file(REMOVE ${OUT}.new)
  message(FATAL_ERROR "${PROGRAM} ${OPTION} failed: ${rc}")
endif()
file(RENAME ${OUT}.new ${OUT})
