# Generates the glad OpenGL loader into the build tree with Debian's python3-glad.
# --reproducible uses the Khronos specs bundled with glad, so no network is needed;
# --loader adds glad's own dlopen-based loader for libGL.
find_program(GLAD_EXECUTABLE glad REQUIRED)

set(GLAD_OUT ${CMAKE_BINARY_DIR}/glad)
set(GLAD_SOURCES ${GLAD_OUT}/src/gl.c)
add_custom_command(
  OUTPUT ${GLAD_SOURCES} ${GLAD_OUT}/include/glad/gl.h
  COMMAND ${GLAD_EXECUTABLE} --quiet --reproducible --api gl:compatibility=3.3
          --extensions "" --out-path ${GLAD_OUT} c --loader
  COMMENT "Generating the glad GL loader"
  VERBATIM)

add_library(glad STATIC ${GLAD_SOURCES})
target_include_directories(glad PUBLIC ${GLAD_OUT}/include)
target_link_libraries(glad PUBLIC ${CMAKE_DL_LIBS})
set_target_properties(glad PROPERTIES POSITION_INDEPENDENT_CODE ON)
