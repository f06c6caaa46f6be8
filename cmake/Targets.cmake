# Warning flags for code the project owns (never for generated or third-party code),
# and Qt's stricter string and connection rules: no implicit conversion from
# 8-bit strings or to URLs, no narrowing in connections.
function(tolka_project_warnings target)
    target_compile_definitions(${target} PRIVATE
        QT_NO_CAST_FROM_ASCII QT_NO_URL_CAST_FROM_STRING QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /permissive-)
        if(TOLKA_WARNINGS_AS_ERRORS)
            target_compile_options(${target} PRIVATE /WX)
        endif()
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
        if(TOLKA_WARNINGS_AS_ERRORS)
            target_compile_options(${target} PRIVATE -Werror)
        endif()
    endif()
endfunction()

# Executables that link the QML module. With a shared Qt the QML plugins are
# found at run time, so the import scan (meant for static Qt) is skipped.
function(tolka_qml_executable target)
    get_target_property(qt_core_type Qt6::Core TYPE)
    if(qt_core_type STREQUAL "SHARED_LIBRARY")
        set_target_properties(${target} PROPERTIES QT_QML_MODULE_NO_IMPORT_SCAN ON)
    endif()
endfunction()
