# Project-wide compiler settings: C++20, warnings as errors, and the sanitizer
# and fuzzing switches the presets turn on.

set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)
# A target's sources are compiled in batches, one translation unit a batch, so
# that the heavy headers (nlohmann/json, CLI11, Asio) are compiled once a batch
# rather than once a file. The linter still reads every file on its own.
set(CMAKE_UNITY_BUILD ON CACHE BOOL "Compile each target's sources in batches")

# GCC before 14 also warns about members left out of designated initializers,
# which is how the records and views are meant to be written.
add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion -Werror)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  add_compile_options(-Wno-missing-field-initializers)
endif()

set(BRISKLANE_SANITIZE "" CACHE STRING "Sanitizers: empty, 'address;undefined' or 'thread'")
set_property(CACHE BRISKLANE_SANITIZE PROPERTY STRINGS "" "address;undefined" "thread")
option(BRISKLANE_FUZZ "Build the libFuzzer targets (clang only)" OFF)

if(BRISKLANE_SANITIZE)
  # GCC warns that ThreadSanitizer cannot see the fences in Asio's reactor;
  # it still checks the accesses around them, which is what the build is for.
  if("thread" IN_LIST BRISKLANE_SANITIZE AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    add_compile_options(-Wno-tsan)
  endif()
  list(JOIN BRISKLANE_SANITIZE "," sanitizers)
  add_compile_options(-fsanitize=${sanitizers} -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${sanitizers} -fno-sanitize-recover=all)
endif()

if(BRISKLANE_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "BRISKLANE_FUZZ needs clang")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()
