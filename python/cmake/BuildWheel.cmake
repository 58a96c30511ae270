# Builds the py3-none-any wheel of the package (cmake -P, from the build):
# the package's files and the configured pyproject.toml are copied into a
# staging folder made anew each time (a removed module leaves nothing behind),
# then python3 -m build --no-isolation makes the wheel from it, offline.
# The build's output goes to a log beside the wheel, shown only on failure.
#
# Variables: PYTHON, PACKAGE (the package's source folder), PYPROJECT, STAGE,
# OUTDIR, WHEEL.
file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${STAGE}/velklink ${OUTDIR})
file(COPY ${PYPROJECT} DESTINATION ${STAGE})
file(GLOB sources ${PACKAGE}/*.py)
file(COPY ${sources} ${PACKAGE}/py.typed DESTINATION ${STAGE}/velklink)
file(REMOVE ${WHEEL})
# A fixed time for the files inside the wheel: the same sources make the same wheel.
set(ENV{SOURCE_DATE_EPOCH} 315532800)
execute_process(COMMAND ${PYTHON} -m build --no-isolation --wheel --outdir ${OUTDIR} ${STAGE}
    RESULT_VARIABLE failed OUTPUT_FILE ${OUTDIR}/build.log ERROR_FILE ${OUTDIR}/build.log)
if(failed OR NOT EXISTS ${WHEEL})
    file(READ ${OUTDIR}/build.log log)
    message(FATAL_ERROR "${log}\nThe wheel ${WHEEL} was not built (${PYTHON} -m build: ${failed})")
endif()
