# The release number is the one in project(); everything else is made from it.
configure_file(${CMAKE_CURRENT_LIST_DIR}/templates/version.h.in
               ${CMAKE_BINARY_DIR}/generated/marrowgate/version.h @ONLY)
include_directories(${CMAKE_BINARY_DIR}/generated)

# mg_version_resource(target "description" app|dll): a VERSIONINFO resource
# for a Windows program or module; nothing elsewhere.
function(mg_version_resource target description kind)
  if(NOT WIN32)
    return()
  endif()
  get_target_property(_name ${target} OUTPUT_NAME)
  if(NOT _name)
    set(_name ${target})
  endif()
  get_target_property(_suffix ${target} SUFFIX)
  if(NOT _suffix)
    set(_suffix ${CMAKE_EXECUTABLE_SUFFIX})
  endif()
  set(MG_RC_DESCRIPTION "${description}")
  set(MG_RC_INTERNAL_NAME "${_name}")
  set(MG_RC_FILENAME "${_name}${_suffix}")
  if(kind STREQUAL "dll")
    set(MG_RC_FILETYPE 0x2L)  # VFT_DLL
  else()
    set(MG_RC_FILETYPE 0x1L)  # VFT_APP
  endif()
  set(_rc ${CMAKE_BINARY_DIR}/generated/${target}_version.rc)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/templates/version.rc.in ${_rc} @ONLY)
  target_sources(${target} PRIVATE ${_rc})
endfunction()
