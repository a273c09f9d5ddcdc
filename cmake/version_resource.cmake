# The version resource of the Windows programs (string table 041904E3, FileVersion from the
# project version), which the About box reads back at run time. Other platforms have no
# resource section; there vr512b_add_version_resource does nothing.
if(NOT WIN32)
  function(vr512b_add_version_resource target)
  endfunction()
  return()
endif()

enable_language(RC)
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.rc.in ${CMAKE_BINARY_DIR}/generated/version.rc
               @ONLY)

function(vr512b_add_version_resource target)
  target_sources(${target} PRIVATE ${CMAKE_BINARY_DIR}/generated/version.rc)
endfunction()
