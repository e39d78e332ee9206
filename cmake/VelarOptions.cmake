# Warning and sanitizer flags shared by every target of the project.
add_library(velar_options INTERFACE)
target_compile_options(velar_options INTERFACE -Wall -Wextra -Wpedantic -Wshadow
  -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Woverloaded-virtual)
# g++ 12's optimiser takes the value union of Kiv::Optional for possibly
# uninitialised once it inlines the destructor of a present value; the
# presence flag guards every access, so the warning says nothing there.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_options(velar_options INTERFACE $<$<NOT:$<CONFIG:Debug>>:-Wno-maybe-uninitialized>)
endif()
if(VELAR_WERROR)
  target_compile_options(velar_options INTERFACE -Werror)
endif()
if(VELAR_SANITIZE)
  target_compile_options(velar_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
    -fno-sanitize-recover=undefined)
  target_link_options(velar_options INTERFACE -fsanitize=address,undefined)
endif()
# Fuzzing: every library carries libFuzzer's coverage instrumentation and the
# sanitizers; the fuzz executables add libFuzzer's driver when they link
# (fuzz/CMakeLists.txt).
if(VELAR_BUILD_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "VELAR_BUILD_FUZZ needs clang++ (libFuzzer); use the fuzz preset")
  endif()
  target_compile_options(velar_options INTERFACE -fsanitize=fuzzer-no-link,address,undefined
    -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(velar_options INTERFACE -fsanitize=address,undefined)
endif()
if(VELAR_SANITIZE AND VELAR_SANITIZE_THREAD)
  message(FATAL_ERROR "VELAR_SANITIZE and VELAR_SANITIZE_THREAD exclude each other")
endif()
if(VELAR_SANITIZE_THREAD)
  target_compile_options(velar_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(velar_options INTERFACE -fsanitize=thread)
endif()
# Assertion messages name their source relative to the project root
# ("AsicSwTable/SwTableAccessor"), not the build machine's absolute path.
target_compile_options(velar_options INTERFACE "-fmacro-prefix-map=${PROJECT_SOURCE_DIR}/=")
if(NOT VELAR_TRACE_CALLS)
  target_compile_definitions(velar_options INTERFACE VELAR_NO_TRACE_CALLS)
endif()
