# cmake -DGZIP=... -DIN=page -DOUT=page.gz -P gzip-page.cmake
# Compresses one manual page without a name or time stamp in the header.
execute_process(COMMAND ${GZIP} -9nc ${IN} OUTPUT_FILE ${OUT} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    file(REMOVE ${OUT})
    message(FATAL_ERROR "gzip ${IN}: ${result}")
endif()
