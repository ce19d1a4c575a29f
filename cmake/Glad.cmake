# Generates the glad OpenGL loader into the build tree with Debian's python3-glad.
# --reproducible uses the Khronos specs bundled with glad, so no network is needed;
# --loader adds glad's own dlopen-based loader for libGL.
# ZOOV_GLAD_DIR names a loader generated beforehand the same way (the Linux release is
# built in a Debian 11 root, whose glad is too old for these options).
set(ZOOV_GLAD_DIR "" CACHE PATH "A glad loader generated beforehand (empty: generate it)")
if(ZOOV_GLAD_DIR)
  set(GLAD_OUT ${ZOOV_GLAD_DIR})
  set(GLAD_SOURCES ${GLAD_OUT}/src/gl.c)
else()
  find_program(GLAD_EXECUTABLE glad REQUIRED)
  set(GLAD_OUT ${CMAKE_BINARY_DIR}/glad)
  set(GLAD_SOURCES ${GLAD_OUT}/src/gl.c)
  add_custom_command(
    OUTPUT ${GLAD_SOURCES} ${GLAD_OUT}/include/glad/gl.h
    COMMAND ${GLAD_EXECUTABLE} --quiet --reproducible --api gl:compatibility=3.3
            --extensions "" --out-path ${GLAD_OUT} c --loader
    COMMENT "Generating the glad GL loader"
    VERBATIM)
endif()

add_library(glad STATIC ${GLAD_SOURCES})
target_include_directories(glad PUBLIC ${GLAD_OUT}/include)
target_link_libraries(glad PUBLIC ${CMAKE_DL_LIBS})
set_target_properties(glad PROPERTIES POSITION_INDEPENDENT_CODE ON)
