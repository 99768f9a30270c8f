# The version resource of every Windows binary of the project: FileVersion and ProductVersion
# are the project's version (project() in the top CMakeLists.txt, the one place it is kept),
# with a Chinese (PRC, Unicode) string block, as Explorer shows it on the store machines.
# Elsewhere the function does nothing.
if(WIN32)
  enable_language(RC)
endif()

#   korvane_version_resource(TARGET FILE_NAME DESCRIPTION)
# FILE_NAME is the binary's file name (Vortal.dll), DESCRIPTION its file description (UTF-8).
function(korvane_version_resource target file_name description)
  if(NOT WIN32)
    return()
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "SHARED_LIBRARY")
    set(KORVANE_FILE_TYPE VFT_DLL)
  else()
    set(KORVANE_FILE_TYPE VFT_APP)
  endif()
  set(KORVANE_FILE_NAME ${file_name})
  set(KORVANE_FILE_DESCRIPTION ${description})
  get_filename_component(KORVANE_INTERNAL_NAME ${file_name} NAME_WE)
  set(output ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${output} @ONLY)
  target_sources(${target} PRIVATE ${output})
endfunction()
