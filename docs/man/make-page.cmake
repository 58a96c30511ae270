# cmake -DGZIP=... -DPROJECT_VERSION=... -DIN=page -DOUT=page.gz -P make-page.cmake
# Puts the version into a manual page and compresses it without a name or a
# time stamp in the gzip header, so the same page always gives the same bytes.
get_filename_component(name ${IN} NAME)
set(page ${OUT}.tmp/${name})
configure_file(${IN} ${page} @ONLY)
execute_process(COMMAND ${GZIP} -9nc ${page} OUTPUT_FILE ${OUT} RESULT_VARIABLE result)
file(REMOVE_RECURSE ${OUT}.tmp)
if(NOT result EQUAL 0)
    file(REMOVE ${OUT})
    message(FATAL_ERROR "gzip ${page}: ${result}")
endif()
