# TARSKCJS_SANITIZE builds everything with AddressSanitizer and UndefinedBehaviorSanitizer; the
# first finding ends the program, so a test that meets one fails. TARSKCJS_FUZZ (clang only)
# adds libFuzzer's coverage instrumentation to the same sanitizers, for the targets in fuzz/.
# TARSKCJS_THREAD_SANITIZE builds with ThreadSanitizer instead, which cannot share a program
# with AddressSanitizer; Qt's own libraries stay uninstrumented, so it sees the races of this
# project's code, and the synchronisation that goes through pthreads or inline atomics.
option(TARSKCJS_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(TARSKCJS_FUZZ "Build the libFuzzer targets in fuzz/ (needs clang)" OFF)
option(TARSKCJS_THREAD_SANITIZE "Build with ThreadSanitizer" OFF)

if(TARSKCJS_THREAD_SANITIZE)
    if(TARSKCJS_SANITIZE OR TARSKCJS_FUZZ)
        message(FATAL_ERROR
            "TARSKCJS_THREAD_SANITIZE cannot be combined with TARSKCJS_SANITIZE or TARSKCJS_FUZZ")
    endif()
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
endif()

if(TARSKCJS_SANITIZE OR TARSKCJS_FUZZ)
    set(tarskcjs_sanitizers "address,undefined")
    if(TARSKCJS_FUZZ)
        if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
            message(FATAL_ERROR "TARSKCJS_FUZZ needs clang: -DCMAKE_CXX_COMPILER=clang++")
        endif()
        string(APPEND tarskcjs_sanitizers ",fuzzer-no-link")
    endif()
    add_compile_options(-fsanitize=${tarskcjs_sanitizers} -fno-sanitize-recover=all
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=${tarskcjs_sanitizers} -fno-sanitize-recover=all)
endif()
