# For a cross build: the header-only libraries velkctl uses (CLI11,
# nlohmann-json), taken from the build machine's Debian packages. Only their
# own folders are put on the include path, through links in the build tree, so
# that the build machine's system headers never are.
foreach(entry "CLI11::CLI11|CLI" "nlohmann_json::nlohmann_json|nlohmann")
    string(REPLACE "|" ";" entry "${entry}")
    list(GET entry 0 target)
    list(GET entry 1 folder)
    if(NOT EXISTS /usr/include/${folder})
        message(FATAL_ERROR "/usr/include/${folder} is missing: install libcli11-dev and nlohmann-json3-dev")
    endif()
    file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/host-headers)
    file(CREATE_LINK /usr/include/${folder} ${PROJECT_BINARY_DIR}/host-headers/${folder} SYMBOLIC)
    add_library(${target} INTERFACE IMPORTED)
    set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${PROJECT_BINARY_DIR}/host-headers)
endforeach()
