# Writes velklink.pc for the prefix the tree is being installed into, which is
# only known at install time (cmake --install --prefix P, or the packages'
# /usr). Run from the install script with VELK_PC_TEMPLATE, VELK_PC_OUTPUT,
# VELK_PC_LIBDIR, VELK_PC_INCLUDEDIR and PROJECT_VERSION set.
get_filename_component(VELK_PC_PREFIX "${CMAKE_INSTALL_PREFIX}" ABSOLUTE)
foreach(dir VELK_PC_LIBDIR VELK_PC_INCLUDEDIR)
    if(NOT IS_ABSOLUTE "${${dir}}")
        set(${dir} "\${prefix}/${${dir}}")
    endif()
endforeach()
configure_file("${VELK_PC_TEMPLATE}" "${VELK_PC_OUTPUT}" @ONLY)
