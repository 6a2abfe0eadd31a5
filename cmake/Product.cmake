# The product that the installers install, named once for the sources, the resource
# scripts, the program names and the demo payloads.
set(AR_PRODUCT_NAME Pelorium)
set(AR_PRODUCT_COMPANY Ardenvale)
set(AR_PRODUCT_COPYRIGHT "Copyright © 2009-2026 Ardenvale. All rights reserved.")
# The version this build installs, and the older demo build that the update tests
# install first (the same major version: it names the product key and the named objects).
set(AR_PRODUCT_VERSION 7.6.0.4)
set(AR_OLDER_DEMO_VERSION 7.5.0.2)

# ar_version_parts(<version> <prefix>): <prefix>_MAJOR, _MINOR, _BUILD, _REVISION of
# "a.b.c.d", and <prefix>_LABEL: "7.06", the major version, then the minor one in two digits.
macro(ar_version_parts version prefix)
    string(REPLACE "." ";" _ar_parts ${version})
    list(GET _ar_parts 0 ${prefix}_MAJOR)
    list(GET _ar_parts 1 ${prefix}_MINOR)
    list(GET _ar_parts 2 ${prefix}_BUILD)
    list(GET _ar_parts 3 ${prefix}_REVISION)
    if(${prefix}_MINOR LESS 10)
        set(${prefix}_LABEL "${${prefix}_MAJOR}.0${${prefix}_MINOR}")
    else()
        set(${prefix}_LABEL "${${prefix}_MAJOR}.${${prefix}_MINOR}")
    endif()
endmacro()

ar_version_parts(${AR_PRODUCT_VERSION} AR_PRODUCT_VERSION)
ar_version_parts(${AR_OLDER_DEMO_VERSION} AR_OLDER_DEMO_VERSION)
if(NOT AR_OLDER_DEMO_VERSION_MAJOR EQUAL AR_PRODUCT_VERSION_MAJOR)
    message(FATAL_ERROR "The older demo build must have the major version ${AR_PRODUCT_VERSION_MAJOR}")
endif()

# The identity, "product_identity.h", for every target.
set(AR_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${PROJECT_SOURCE_DIR}/product/product_identity.h.in ${AR_GENERATED_DIR}/product_identity.h @ONLY)
target_include_directories(ar_options INTERFACE ${AR_GENERATED_DIR})

# ar_product_version_header(<target> <version>): <target> includes "product_version.h",
# the numbers and label of that version of the product.
function(ar_product_version_header target version)
    ar_version_parts(${version} V)
    set(folder ${AR_GENERATED_DIR}/${version})
    configure_file(${PROJECT_SOURCE_DIR}/product/product_version.h.in ${folder}/product_version.h @ONLY)
    target_include_directories(${target} PRIVATE ${folder} ${AR_GENERATED_DIR})
endfunction()
