# 32-bit Windows: velklink.dll exports its stdcall functions under undecorated
# names (velklink/api/velklink.def), while a 32-bit compiler calls them by
# their decorated names (_HLPWaitFor@0). velk_stdcall_import_library(OUTPUT)
# makes an import library that maps each decorated name onto the export: a
# module definition with each function's argument bytes (every argument of the
# header is 4 bytes wide on i686), read from include/velklink.h and
# include/velksession.h (a declaration may span lines), through dlltool --kill-at.
function(velk_stdcall_import_library output)
    file(READ ${PROJECT_SOURCE_DIR}/include/velklink.h header)
    file(READ ${PROJECT_SOURCE_DIR}/include/velksession.h session)
    string(APPEND header "\n${session}")
    string(REPLACE "\n" " " header "${header}")
    string(REGEX MATCHALL "VELK_EXPORT [^;]*VELK_CALL [A-Za-z_]+\\([^)]*\\)" declarations "${header}")
    set(definition "LIBRARY velklink.dll\nEXPORTS\n")
    foreach(declaration ${declarations})
        string(REGEX MATCH "VELK_CALL ([A-Za-z_]+)\\(([^)]*)\\)" found "${declaration}")
        set(name ${CMAKE_MATCH_1})
        set(arguments "${CMAKE_MATCH_2}")
        set(bytes 0)
        if(NOT arguments STREQUAL "void")
            string(REGEX MATCHALL "," commas "${arguments}")
            list(LENGTH commas count)
            math(EXPR bytes "(${count} + 1) * 4")
        endif()
        string(APPEND definition "    ${name}@${bytes}\n")
    endforeach()
    set(def ${PROJECT_BINARY_DIR}/velklink-stdcall.def)
    file(WRITE ${def} "${definition}")
    add_custom_command(OUTPUT ${output}
        COMMAND ${VELK_MINGW_TRIPLET}-dlltool --kill-at -d ${def} -D velklink.dll -l ${output}
        DEPENDS ${def} ${PROJECT_SOURCE_DIR}/include/velklink.h ${PROJECT_SOURCE_DIR}/include/velksession.h
        COMMENT "The stdcall import library of velklink.dll")
endfunction()

# velk_link_velklink(TARGET SCOPE): TARGET calls velklink.dll (or the shared
# library): on 32-bit Windows through the stdcall import library, made once
# for every host that links it.
function(velk_link_velklink target scope)
    if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
        set(imports ${PROJECT_BINARY_DIR}/libvelklink-stdcall.dll.a)
        if(NOT TARGET velklink_stdcall_imports)
            velk_stdcall_import_library(${imports})
            add_custom_target(velklink_stdcall_imports DEPENDS ${imports})
        endif()
        add_dependencies(${target} velklink_stdcall_imports velklink)
        target_include_directories(${target} ${scope} ${PROJECT_SOURCE_DIR}/include)
        target_link_libraries(${target} ${scope} ${imports})
    else()
        target_link_libraries(${target} ${scope} velklink)
    endif()
endfunction()
