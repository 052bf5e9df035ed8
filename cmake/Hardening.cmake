# The hardening that Debian builds its packages with (dpkg-buildflags, hardening=+all):
# stack protector, fortified libc calls, position-independent executables, read-only
# relocations bound at start-up, and format strings that cannot come from data. GCC and Clang
# on Linux, in the optimised build types only: _FORTIFY_SOURCE needs optimisation, and a
# Debug build is for the debugger. Sanitizer and fuzz builds go without: their runtimes
# intercept the same libc calls that fortification replaces.
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux" OR NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang"
   OR TARSKCJS_SANITIZE OR TARSKCJS_FUZZ OR TARSKCJS_THREAD_SANITIZE)
    return()
endif()

set(tarskcjs_optimised $<CONFIG:Release,RelWithDebInfo,MinSizeRel>)

add_compile_options($<${tarskcjs_optimised}:-fstack-protector-strong>
                    $<${tarskcjs_optimised}:-Wformat>
                    $<${tarskcjs_optimised}:-Werror=format-security>)
add_link_options($<${tarskcjs_optimised}:LINKER:-z,relro>
                 $<${tarskcjs_optimised}:LINKER:-z,now>)

# Leave _FORTIFY_SOURCE alone where the flags given to CMake or the compiler itself already
# define it (a packager's CPPFLAGS, distributions whose compiler enables it): defining it twice
# is an error with some levels and a warning with all.
include(CheckCXXSourceCompiles)
set(CMAKE_REQUIRED_FLAGS -O2)
set(CMAKE_REQUIRED_QUIET ON)
check_cxx_source_compiles([=[
#ifndef _FORTIFY_SOURCE
#error not predefined
#endif
int main() { return 0; }
]=] TARSKCJS_FORTIFY_PREDEFINED)
unset(CMAKE_REQUIRED_FLAGS)
unset(CMAKE_REQUIRED_QUIET)
set(tarskcjs_given_flags "${CMAKE_CXX_FLAGS}")
foreach(config IN ITEMS RELEASE RELWITHDEBINFO MINSIZEREL)
    string(APPEND tarskcjs_given_flags " ${CMAKE_CXX_FLAGS_${config}}")
endforeach()
if(NOT TARSKCJS_FORTIFY_PREDEFINED AND NOT tarskcjs_given_flags MATCHES "_FORTIFY_SOURCE")
    add_compile_definitions($<${tarskcjs_optimised}:_FORTIFY_SOURCE=2>)
endif()

# PIE: Qt's targets already compile everything with -fPIC; this makes the link ask for a
# position-independent executable too, whatever the compiler's default.
include(CheckPIESupported)
check_pie_supported(LANGUAGES CXX)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
