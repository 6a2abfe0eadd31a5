# Compile and link settings shared by every Windows target of the project.
add_library(ar_options INTERFACE)
target_compile_options(ar_options INTERFACE -Wall -Wextra -Werror)
target_compile_definitions(ar_options INTERFACE
    UNICODE _UNICODE NOMINMAX STRICT
    _WIN32_WINNT=0x0601 WINVER=0x0601 _WIN32_IE=0x0800)
target_include_directories(ar_options INTERFACE ${PROJECT_SOURCE_DIR})
target_link_options(ar_options INTERFACE -static -static-libgcc -static-libstdc++)

# A GUI program with a wide entry point.
function(ar_windows_program target)
    target_link_options(${target} PRIVATE -municode -mwindows)
endfunction()
