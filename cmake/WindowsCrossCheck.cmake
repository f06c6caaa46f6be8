# tolka_add_windows_cross_check(NAME <name> LABEL <label> SOURCES <files...> [LIBS <win32 libs...>])
#
# A test that compiles and links the given sources (the Windows platform layer
# and a small console program using it) with Debian's mingw-w64 cross
# compiler, so that a compile error in code the Linux build never sees fails
# the suite. Linked with -static and the given Win32 libraries (ole32, ...).
function(tolka_add_windows_cross_check)
    cmake_parse_arguments(ARG "" "NAME;LABEL" "SOURCES;LIBS" ${ARGN})
    if(WIN32)
        return() # the native build compiles these sources itself
    endif()
    find_program(TOLKA_MINGW_CXX x86_64-w64-mingw32-g++-posix)

    set(sources "")
    set(includes "")
    foreach(source IN LISTS ARG_SOURCES)
        get_filename_component(path "${source}" ABSOLUTE)
        get_filename_component(dir "${path}" DIRECTORY)
        list(APPEND sources "${path}")
        list(APPEND includes "-I${dir}")
    endforeach()
    list(REMOVE_DUPLICATES includes)
    list(TRANSFORM ARG_LIBS PREPEND "-l" OUTPUT_VARIABLE libs)

    if(NOT TOLKA_MINGW_CXX)
        message(WARNING "x86_64-w64-mingw32-g++-posix not found: ${ARG_NAME} will fail")
        add_test(NAME ${ARG_NAME} COMMAND ${CMAKE_COMMAND} -E echo
            "x86_64-w64-mingw32-g++-posix is missing (package g++-mingw-w64-x86-64-posix)")
        set_tests_properties(${ARG_NAME} PROPERTIES LABELS "${ARG_LABEL}" WILL_FAIL TRUE)
        return()
    endif()
    add_test(NAME ${ARG_NAME}
        COMMAND ${TOLKA_MINGW_CXX} -std=c++20 -O0 -Wall -Wextra -Wpedantic -Werror
                ${includes} ${sources} -static -o "${CMAKE_CURRENT_BINARY_DIR}/${ARG_NAME}.exe" ${libs})
    set_tests_properties(${ARG_NAME} PROPERTIES LABELS "${ARG_LABEL}")
endfunction()
