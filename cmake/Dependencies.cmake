# Third-party pieces: Boost headers and the MinGW builds made by scripts/bootstrap.
add_library(deps_boost INTERFACE)
target_include_directories(deps_boost SYSTEM INTERFACE "${AR_DEPS_DIR}/include")
target_compile_definitions(deps_boost INTERFACE
    BOOST_ALL_NO_LIB
    BOOST_FILESYSTEM_STATIC_LINK
    BOOST_UUID_RANDOM_PROVIDER_FORCE_WINCRYPT)

add_library(deps_bz2 STATIC IMPORTED)
set_target_properties(deps_bz2 PROPERTIES IMPORTED_LOCATION "${AR_DEPS_DIR}/lib/libbz2.a")

add_library(deps_iostreams STATIC IMPORTED)
set_target_properties(deps_iostreams PROPERTIES IMPORTED_LOCATION "${AR_DEPS_DIR}/lib/libboost_iostreams.a")
target_link_libraries(deps_iostreams INTERFACE deps_bz2 deps_boost)

add_library(deps_filesystem STATIC IMPORTED)
set_target_properties(deps_filesystem PROPERTIES IMPORTED_LOCATION "${AR_DEPS_DIR}/lib/libboost_filesystem.a")
target_link_libraries(deps_filesystem INTERFACE deps_boost)
