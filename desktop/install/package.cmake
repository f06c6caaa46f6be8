# The Debian package, made by CPack's DEB generator (tools/dev package):
# cpack --config <build>/CPackConfig.cmake -B <folder>. dpkg-shlibdeps gives
# the libraries the programs link; packagedeps.cmake, read by cpack when it
# packages, adds what it cannot see: the QML modules and Qt plugins loaded at
# run time, and the offline engines' data as recommendations.

# The release the package is made for, from the build machine's os-release.
set(_codename "")
if(EXISTS /etc/os-release)
    file(STRINGS /etc/os-release _codename_line REGEX "^VERSION_CODENAME=")
    string(REGEX REPLACE "^VERSION_CODENAME=\"?([^\"]*)\"?$" "\\1" _codename "${_codename_line}")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_SOURCE_GENERATOR "")
set(CPACK_PACKAGE_NAME tolka)
set(CPACK_PACKAGE_VENDOR Arvendel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Arvendel <${TOLKA_ORGANIZATION_DOMAIN}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${TOLKA_SUMMARY}")
# Debian's long description, its lines as they are to be shown.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Hold the microphone button, speak and release: Tolka recognises what\n"
    "was said, translates it, shows it and speaks it in the other language.\n"
    "It uses a cloud speech service, or offline engines (espeak-ng,\n"
    "pocketsphinx, apertium) when there is no account or no network. A\n"
    "conversation mode lets two people take turns, and their exchanges are\n"
    "kept in a transcript.")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_SOURCE_DIR}/build/package)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
if(_codename)
    set(CPACK_DEBIAN_PACKAGE_RELEASE "1~${_codename}")
else()
    set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
endif()
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${TOLKA_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_SOURCE_DIR}/packagedeps.cmake)

# What packagedeps.cmake reads (cpack sees only CPACK_ variables).
set(CPACK_TOLKA_QML_ROOTS ${PROJECT_SOURCE_DIR}/qt/qml/TolkaModule ${PROJECT_SOURCE_DIR}/effects)
# Our own modules, linked into the program.
set(CPACK_TOLKA_OWN_MODULES TolkaModule effects)
set(CPACK_TOLKA_QMLIMPORTSCANNER ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_LIBEXECS}/qmlimportscanner)
set(CPACK_TOLKA_QML_DIR ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_QML})
set(CPACK_TOLKA_PLUGIN_DIR ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_PLUGINS})
# Qt plugins loaded by name at run time: the X11 platform and the TLS
# back end of every HTTPS request are needed; Wayland is welcome.
set(CPACK_TOLKA_NEEDED_PLUGINS platforms/libqxcb.so tls/libqopensslbackend.so)
set(CPACK_TOLKA_WANTED_PLUGINS platforms/libqwayland.so)
# The offline engines' data folders are read from the service's sources.
set(CPACK_TOLKA_APERTIUM_SOURCE ${PROJECT_SOURCE_DIR}/localservice/apertiumtranslation.h)
set(CPACK_TOLKA_TARGETS_FILE ${CMAKE_CURRENT_BINARY_DIR}/package-targets.cmake)
file(GENERATE OUTPUT ${CPACK_TOLKA_TARGETS_FILE}
    CONTENT "set(TOLKA_LOCALSERVICE_FILE \"$<TARGET_FILE:tolka-localservice>\")\n")

include(CPack)
