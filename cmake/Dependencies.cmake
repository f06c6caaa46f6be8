# Third-party libraries other than Qt.
#   tolka::opus  libopus (encoding of recordings, decoding of synthesised speech)
#   tolka::opusfile  libopusfile (the local service's reading of recordings)
#   tolka::ogg  libogg (the local service's reading of recordings as they stream in)
#   Qt6Keychain::Qt6Keychain  QtKeychain (optional; the credential store)
#   ALSA::ALSA   ALSA (Linux audio devices)
if(WIN32)
    find_package(Opus CONFIG QUIET)
    if(TARGET Opus::opus)
        add_library(tolka::opus ALIAS Opus::opus)
    endif()
endif()
if(NOT TARGET tolka::opus)
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(OPUS REQUIRED IMPORTED_TARGET GLOBAL opus)
    add_library(tolka::opus ALIAS PkgConfig::OPUS)
endif()

# libopusfile: the local service reads recordings with it, as a real decoder
# would. Global, because the tests that link the service need it too.
if(WIN32)
    find_package(OpusFile CONFIG QUIET)
    if(TARGET OpusFile::opusfile)
        add_library(tolka::opusfile ALIAS OpusFile::opusfile)
    endif()
endif()
if(NOT TARGET tolka::opusfile)
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(OPUSFILE REQUIRED IMPORTED_TARGET GLOBAL opusfile)
    add_library(tolka::opusfile ALIAS PkgConfig::OPUSFILE)
endif()

if(WIN32)
    find_package(Ogg CONFIG QUIET)
    if(TARGET Ogg::ogg)
        add_library(tolka::ogg ALIAS Ogg::ogg)
    endif()
endif()
if(NOT TARGET tolka::ogg)
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(OGG REQUIRED IMPORTED_TARGET GLOBAL ogg)
    add_library(tolka::ogg ALIAS PkgConfig::OGG)
endif()

# QtKeychain: the user's keys in the system's credential store. Optional:
# without it keys are kept for the session only. Found here so that the
# tests see its target too.
find_package(Qt6Keychain QUIET)

if(UNIX AND NOT APPLE)
    find_package(ALSA REQUIRED)
endif()
