# tolka_add_windows_cross_check(NAME <name> LABEL <label> SOURCES <files...> [INCLUDES <dirs...>]
#                               [LIBS <win32 libs...>])
#
# A test that compiles and links the given Qt-free sources for Windows with
# Debian's mingw-w64 cross compiler (x86_64-w64-mingw32-g++-posix), statically,
# with the given Win32 libraries (e.g. ole32). It fails on any compile or link
# error, and on warnings when TOLKA_WARNINGS_AS_ERRORS is on, so the Windows
# layers are checked wherever the test suite runs. Include directories are the
# folders of the sources and the INCLUDES given. The exe,
# <binary folder>/<name>.exe, is the fixture tolka_exe_<name> for the tests
# that run it (tolka_add_wine_test).
find_program(TOLKA_MINGW_CXX x86_64-w64-mingw32-g++-posix)

function(tolka_add_windows_cross_check)
    cmake_parse_arguments(ARG "" "NAME;LABEL" "SOURCES;INCLUDES;LIBS" ${ARGN})
    if(WIN32)
        return() # the native build compiles these sources itself
    endif()
    if(NOT TOLKA_MINGW_CXX)
        message(WARNING "x86_64-w64-mingw32-g++-posix not found: ${ARG_NAME} will fail")
        add_test(NAME ${ARG_NAME} COMMAND ${CMAKE_COMMAND} -E echo
            "x86_64-w64-mingw32-g++-posix is missing (package g++-mingw-w64-x86-64-posix)")
        set_tests_properties(${ARG_NAME} PROPERTIES LABELS "${ARG_LABEL}" WILL_FAIL TRUE
            FIXTURES_SETUP tolka_exe_${ARG_NAME})
        return()
    endif()
    set(sources "")
    set(includes "")
    foreach(source IN LISTS ARG_SOURCES)
        get_filename_component(path "${source}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
        get_filename_component(dir "${path}" DIRECTORY)
        list(APPEND sources "${path}")
        list(APPEND includes "-I${dir}")
    endforeach()
    foreach(dir IN LISTS ARG_INCLUDES)
        list(APPEND includes "-I${dir}")
    endforeach()
    list(REMOVE_DUPLICATES includes)
    set(libs "")
    foreach(lib IN LISTS ARG_LIBS)
        list(APPEND libs "-l${lib}")
    endforeach()
    set(flags -std=c++${CMAKE_CXX_STANDARD} -O1 -Wall -Wextra -Wpedantic)
    if(TOLKA_WARNINGS_AS_ERRORS)
        list(APPEND flags -Werror)
    endif()
    add_test(NAME ${ARG_NAME}
        COMMAND ${TOLKA_MINGW_CXX} ${flags} ${includes} ${sources}
            -static -o "${CMAKE_CURRENT_BINARY_DIR}/${ARG_NAME}.exe" ${libs})
    set_tests_properties(${ARG_NAME} PROPERTIES LABELS "${ARG_LABEL}" FIXTURES_SETUP tolka_exe_${ARG_NAME})
endfunction()
