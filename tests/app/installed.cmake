# An installed Tolka without any account runs on its offline engines: the
# build is installed into a folder of its own, the installed program is
# started with a settings store of its own, and its log must show the
# engines found beside it (in libexec) listening.
#   cmake -DBUILD=<build dir> -DPREFIX=<empty folder> -P installed.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD}" --prefix "${PREFIX}"
    RESULT_VARIABLE installed OUTPUT_QUIET)
if(NOT installed EQUAL 0)
    message(FATAL_ERROR "installing into ${PREFIX} failed")
endif()
foreach(file bin/tolka libexec/tolka/tolka-localservice)
    if(NOT EXISTS "${PREFIX}/${file}")
        message(FATAL_ERROR "${file} is not installed")
    endif()
endforeach()
set(ENV{XDG_CONFIG_HOME} "${PREFIX}/config")
set(ENV{TOLKA_LOCALSERVICE} "")
unset(ENV{TOLKA_CLOUD_ORIGIN})
unset(ENV{TOLKA_MODE})
set(ENV{QT_LOGGING_RULES} "tolka.offline.info=true")
# It runs until stopped: the time limit ends it once the engines are up.
execute_process(COMMAND "${PREFIX}/bin/tolka" TIMEOUT 15
    OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT err MATCHES "offline engines listening on \"https://127\\.0\\.0\\.1:")
    message(FATAL_ERROR "the installed Tolka did not start its offline engines:\n${err}")
endif()
string(REGEX MATCH "starting the offline engines: \"[^\"]*\"" started "${err}")
if(NOT started MATCHES "libexec/tolka/tolka-localservice")
    message(FATAL_ERROR "the engines did not come from the installed libexec folder: ${started}")
endif()
message(STATUS "${started}")
