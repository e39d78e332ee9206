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
