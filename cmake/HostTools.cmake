# Host-side programs (the payload builder) are native Linux programs, built in
# their own tree with the host compiler and run during the build.
include(ExternalProject)
set(AR_HOST_DIR ${CMAKE_BINARY_DIR}/host)
set(AR_PAYLOAD_BUILDER ${AR_HOST_DIR}/ar-payload)
ExternalProject_Add(host_tools
    SOURCE_DIR ${PROJECT_SOURCE_DIR}/tools
    BINARY_DIR ${AR_HOST_DIR}
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DAR_SOURCE_DIR=${PROJECT_SOURCE_DIR}
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${AR_PAYLOAD_BUILDER})
