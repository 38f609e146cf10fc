# The backend environment and the application id compiled into this build. The library reads the
# raw TARVO_ENVIRONMENT again at run time and applies the same rules; checking here as well stops a
# bad build at configure time instead of at its first start.
#
# Results for other targets:
#   TARVO_ENVIRONMENT_KIND    "production" or "staging"
#   TARVO_APPLICATION_ID      the application id in effect
#   tarvo_build_configuration interface target whose include path holds
#                             <tarvo/build_configuration.hpp> (the values as C++ constants)

set(TARVO_ENVIRONMENT "" CACHE STRING
    "Backend environment: empty or \"production\", or \"staging\" (spaces, tabs and case ignored)")
set(TARVO_APP_ID "" CACHE STRING
    "Application id; empty means com.merrow.loft.mac, or com.merrow.loft.mac.dev for staging")

string(REGEX REPLACE "^[ \t]+" "" _tarvo_environment "${TARVO_ENVIRONMENT}")
string(REGEX REPLACE "[ \t]+$" "" _tarvo_environment "${_tarvo_environment}")
string(TOLOWER "${_tarvo_environment}" _tarvo_environment)
if(_tarvo_environment STREQUAL "" OR _tarvo_environment STREQUAL "production")
    set(TARVO_ENVIRONMENT_KIND "production")
elseif(_tarvo_environment STREQUAL "staging")
    set(TARVO_ENVIRONMENT_KIND "staging")
else()
    message(FATAL_ERROR "TARVO_ENVIRONMENT is \"${TARVO_ENVIRONMENT}\"; it must be empty, "
                        "\"production\" or \"staging\".")
endif()

if(TARVO_APP_ID STREQUAL "")
    if(TARVO_ENVIRONMENT_KIND STREQUAL "staging")
        set(TARVO_APPLICATION_ID "com.merrow.loft.mac.dev")
    else()
        set(TARVO_APPLICATION_ID "com.merrow.loft.mac")
    endif()
else()
    set(TARVO_APPLICATION_ID "${TARVO_APP_ID}")
endif()

# The id names folders ($XDG_CONFIG_HOME/<id>, $XDG_DATA_HOME/<id>), so it must be one plain path
# component.
if(NOT TARVO_APPLICATION_ID MATCHES "^[A-Za-z0-9_-][A-Za-z0-9._-]*$")
    message(FATAL_ERROR "TARVO_APP_ID \"${TARVO_APPLICATION_ID}\" must consist of letters, digits, "
                        "\".\", \"-\" and \"_\", and must not start with a dot.")
endif()

# A development id (ending in ".dev" or containing ".dev.") belongs to a staging build, any other
# id to a production build.
if(TARVO_APPLICATION_ID MATCHES "\\.dev$" OR TARVO_APPLICATION_ID MATCHES "\\.dev\\.")
    set(_tarvo_expected_kind "staging")
else()
    set(_tarvo_expected_kind "production")
endif()
if(NOT _tarvo_expected_kind STREQUAL TARVO_ENVIRONMENT_KIND)
    message(FATAL_ERROR "TARVO_APP_ID \"${TARVO_APPLICATION_ID}\" belongs to a "
                        "${_tarvo_expected_kind} build, but TARVO_ENVIRONMENT selects "
                        "${TARVO_ENVIRONMENT_KIND}.")
endif()

message(STATUS "Environment: ${TARVO_ENVIRONMENT_KIND}, application id ${TARVO_APPLICATION_ID}")

configure_file(${CMAKE_CURRENT_LIST_DIR}/build_configuration.hpp.in
               ${PROJECT_BINARY_DIR}/generated/tarvo/build_configuration.hpp @ONLY)
add_library(tarvo_build_configuration INTERFACE)
target_include_directories(tarvo_build_configuration INTERFACE ${PROJECT_BINARY_DIR}/generated)
