# Warnings and sanitizers shared by every target of the project.
add_library(quillow_options INTERFACE)
target_compile_options(quillow_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align -Wunused
  -Woverloaded-virtual -Wnull-dereference -Wdouble-promotion -Wformat=2 -Wimplicit-fallthrough)

if(QUILLOW_SANITIZE)
  set(QUILLOW_SAN_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_compile_options(${QUILLOW_SAN_FLAGS})
  add_link_options(-fsanitize=address,undefined)
endif()

find_program(QUILLOW_CCACHE ccache)
if(QUILLOW_CCACHE)
  set(CMAKE_C_COMPILER_LAUNCHER ${QUILLOW_CCACHE})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${QUILLOW_CCACHE})
endif()
