# The Windows program's resources: src/app/zoov2020.rc.in, filled in with the version and
# the paths of the manifest and the icon, compiled by MinGW's windres (CMake's RC
# language) and linked into the .exe.
set(ZOOV_VERSION "1.0.0" CACHE STRING "The version the Windows program's resources name")

function(zoov_windows_resources target)
  enable_language(RC)
  string(REGEX MATCHALL "[0-9]+" parts "${ZOOV_VERSION}")
  list(APPEND parts 0 0 0 0)
  list(SUBLIST parts 0 4 parts)
  list(JOIN parts "," ZOOV_VERSION_QUAD)
  list(JOIN parts "." ZOOV_VERSION_QUAD_DOTS)
  set(ZOOV_MANIFEST ${CMAKE_BINARY_DIR}/zoov2020.manifest)
  set(ZOOV_ICON ${CMAKE_SOURCE_DIR}/src/app/zoov2020.ico)
  configure_file(${CMAKE_SOURCE_DIR}/src/app/zoov2020.manifest ${ZOOV_MANIFEST} @ONLY)
  configure_file(${CMAKE_SOURCE_DIR}/src/app/zoov2020.rc.in ${CMAKE_BINARY_DIR}/zoov2020.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_BINARY_DIR}/zoov2020.rc)
  # windres reads the files the script names when it runs: rebuild when they change.
  set_source_files_properties(${CMAKE_BINARY_DIR}/zoov2020.rc PROPERTIES
    OBJECT_DEPENDS "${ZOOV_MANIFEST};${ZOOV_ICON}")
endfunction()
