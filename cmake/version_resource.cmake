# The Windows version resource (VERSIONINFO) of a module or program, from cmake/version.rc.in and
# VERSION: what Windows shows under Properties > Details. It holds data only: no code, no import,
# no export. Usage: dustweave_version_resource(TARGET DESCRIPTION FILE_NAME DLL|APP).
function(dustweave_version_resource target description file_name kind)
  if(kind STREQUAL "DLL")
    set(RC_FILE_TYPE 2)   # VFT_DLL
  elseif(kind STREQUAL "APP")
    set(RC_FILE_TYPE 1)   # VFT_APP
  else()
    message(FATAL_ERROR "dustweave_version_resource: kind is DLL or APP, not ${kind}")
  endif()
  set(RC_DESCRIPTION "${description}")
  set(RC_FILE_NAME "${file_name}")
  get_filename_component(RC_INTERNAL_NAME "${file_name}" NAME_WE)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
