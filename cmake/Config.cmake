# Build-time configuration: service host names and subscription keys.
# The keys default to fixed development values of the right form, which the
# local test service accepts; real keys are given on the cmake command line.

set(TOLKA_ORGANIZATION_DOMAIN "contact@arvendel.example" CACHE STRING
    "Organisation domain set on the application (the maker's contact address)")

# The desktop id, reverse DNS of the organisation's domain: the contact
# address's host ("contact@arvendel.example" -> "example.arvendel.Tolka").
# The desktop entry and the metainfo are named after it, and the application
# names its desktop file the same way (setDesktopFileName), so that the
# window and the entry are matched.
string(REGEX REPLACE "^.*@" "" _host "${TOLKA_ORGANIZATION_DOMAIN}")
string(TOLOWER "${_host}" _host)
string(REPLACE "-" "_" _host "${_host}")
string(REPLACE "." ";" _labels "${_host}")
list(REVERSE _labels)
list(JOIN _labels "." TOLKA_DEVELOPER_ID)
set(TOLKA_DESKTOP_ID "${TOLKA_DEVELOPER_ID}.Tolka")

set(TOLKA_TRANSLATOR_HOST "api.cognitive.microsofttranslator.com" CACHE STRING
    "Global host of the translator service")
set(TOLKA_TTS_HOST_SUFFIX "tts.speech.microsoft.com" CACHE STRING
    "Speech synthesis host, after the region prefix")
set(TOLKA_STT_HOST_SUFFIX "stt.speech.microsoft.com" CACHE STRING
    "Speech recognition host, after the region prefix")
set(TOLKA_REGIONAL_API_HOST_SUFFIX "api.cognitive.microsoft.com" CACHE STRING
    "Regional service host (token and translator backup), after the region prefix")

set(TOLKA_TRANSLATOR_REGION "" CACHE STRING
    "Region of the translator resource (e.g. westeurope); empty for a global resource")

# A key with its development value. Any other value counts as a real key:
# tools/dev run then talks to the cloud instead of the local service.
set(_tolka_keys development)
macro(tolka_key name development description)
    set(${name} "${development}" CACHE STRING "${description}")
    if(NOT "${${name}}" STREQUAL "${development}")
        set(_tolka_keys given)
    endif()
endmacro()

tolka_key(TOLKA_SPEECH_KEY_WESTEUROPE "0e5a1f3c9b7d42e8a6c0d1f2b3a49c7e"
    "Speech subscription key, primary resource, region westeurope")
tolka_key(TOLKA_SPEECH_BACKUP_KEY_WESTEUROPE "1f6b2a4d0c8e53f9b7d1e2a3c4b5ad8f"
    "Speech subscription key, backup resource, region westeurope")
tolka_key(TOLKA_SPEECH_KEY_EASTUS "2a7c3b5e1d9f64a0c8e2f3b4d5c6be90"
    "Speech subscription key, primary resource, region eastus")
tolka_key(TOLKA_SPEECH_BACKUP_KEY_EASTUS "3b8d4c6f2e0a75b1d9f3a4c5e6d7cfa1"
    "Speech subscription key, backup resource, region eastus")
tolka_key(TOLKA_TRANSLATOR_KEY "4c9e5d7a3f1b86c2e0a4b5d6f7e8d0b2"
    "Translator subscription key, primary resource")
tolka_key(TOLKA_TRANSLATOR_BACKUP_KEY
    "DevTranslatorBackupKey0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
    "Translator subscription key, backup resource (84 letters and digits)")
mark_as_advanced(TOLKA_SPEECH_KEY_WESTEUROPE TOLKA_SPEECH_BACKUP_KEY_WESTEUROPE
    TOLKA_SPEECH_KEY_EASTUS TOLKA_SPEECH_BACKUP_KEY_EASTUS
    TOLKA_TRANSLATOR_KEY TOLKA_TRANSLATOR_BACKUP_KEY)

# Without keys of its own a build starts offline (cloudconfig.h).
if(_tolka_keys STREQUAL "given")
    set(TOLKA_BUILD_HAS_KEYS true)
else()
    set(TOLKA_BUILD_HAS_KEYS false)
endif()

# Read by tools/run-window: "given" or "development".
file(CONFIGURE OUTPUT "${PROJECT_BINARY_DIR}/cloud-keys.txt" CONTENT "${_tolka_keys}\n")
