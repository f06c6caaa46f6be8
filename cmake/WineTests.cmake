# tolka_add_wine_test(NAME <name> LABEL <label> EXE <exe> [ARGS <args...>]
#                     [ENV <VAR=value...>] [TIMEOUT <seconds>])
#
# A test that runs a Windows executable under Wine (tools/wine/run-exe) and
# passes when it exits with 0. EXE is normally the output of a cross-compile
# check, <binary folder of that check>/<its NAME>.exe: the test then requires
# that check (a fixture), so it runs after it, and not at all when the exe
# could not be built. It also requires windows_wineprefix, the test that
# creates the Wine prefix of the build tree (<build>/wine-prefix) once.
#
# Wine is the one of the Debian 12 root that tools/dev mounts in its build
# root (TOLKA_WINE_ROOT), else the host's. Without Wine the tests are skipped,
# except when CI=true, where they fail. Wine's environment holds only
# ALSA_CONFIG_PATH, WINEDEBUG and the TOLKA_* variables of ENV; any file they
# name, like the exe, must lie in the work tree (the Wine root sees nothing
# else, its /tmp is its own). Under tools/dev, Wine's sound goes through its
# ALSA driver to the ALSA default device, so the file devices of
# tools/sound/file-devices.conf work: the microphone reads TOLKA_MIC_FILE, the
# rendered samples land in TOLKA_RENDER_FILE (S16LE mono 48 kHz, the format the
# Windows layer asks for). Set WINEDEBUG (e.g. +mmdevapi,+alsa) in the
# environment of ctest to see Wine's traces; the default is -all.
#
# Example, in tests/capture:
#   tolka_add_wine_test(NAME windows_capture_probe LABEL windows
#       EXE ${CMAKE_CURRENT_BINARY_DIR}/windows_capture_crosscheck.exe
#       ENV "ALSA_CONFIG_PATH=/usr/share/alsa/alsa.conf:${PROJECT_SOURCE_DIR}/tools/sound/file-devices.conf"
#           "TOLKA_MIC_FILE=${PROJECT_SOURCE_DIR}/tests/data/speech/sentence.raw")
set(TOLKA_WINE_RUNNER ${CMAKE_CURRENT_LIST_DIR}/../tools/wine/run-exe)
set(TOLKA_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
set(TOLKA_WINE_SKIP 77)

function(tolka_add_wine_test)
    cmake_parse_arguments(ARG "" "NAME;LABEL;EXE;TIMEOUT" "ARGS;ENV" ${ARGN})
    if(WIN32)
        return() # the native build runs its own executables
    endif()
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    # The prefix, made by one test that the others wait for, so parallel
    # tests do not race to create it.
    get_property(prefix_test GLOBAL PROPERTY TOLKA_WINE_PREFIX_TEST)
    if(NOT prefix_test)
        set_property(GLOBAL PROPERTY TOLKA_WINE_PREFIX_TEST windows_wineprefix)
        add_test(NAME windows_wineprefix COMMAND bash ${TOLKA_WINE_RUNNER} --init ${TOLKA_WINE_PREFIX})
        set_tests_properties(windows_wineprefix PROPERTIES
            LABELS "windows"
            FIXTURES_SETUP tolka_wineprefix
            SKIP_RETURN_CODE ${TOLKA_WINE_SKIP}
            TIMEOUT 300
            ENVIRONMENT "TOLKA_WINE_TIMEOUT=240")
    endif()
    # Ended by the runner before ctest would kill it, so that Wine goes too.
    math(EXPR wine_timeout "${ARG_TIMEOUT} * 4 / 5")
    get_filename_component(exe_name "${ARG_EXE}" NAME_WE)
    add_test(NAME ${ARG_NAME} COMMAND bash ${TOLKA_WINE_RUNNER} ${TOLKA_WINE_PREFIX} ${ARG_EXE} ${ARG_ARGS})
    set_tests_properties(${ARG_NAME} PROPERTIES
        LABELS "${ARG_LABEL}"
        FIXTURES_REQUIRED "tolka_wineprefix;tolka_exe_${exe_name}"
        SKIP_RETURN_CODE ${TOLKA_WINE_SKIP}
        TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT "TOLKA_WINE_TIMEOUT=${wine_timeout};${ARG_ENV}")
endfunction()
