# Platform code lives in files of its own: name_posix.cpp for Linux (and other
# POSIX systems), name_win32.cpp for Windows. vr512b_platform_sources(list)
# drops the other platform's files from a list of sources.
function(vr512b_platform_sources variable)
  set(sources ${${variable}})
  if(WIN32)
    list(FILTER sources EXCLUDE REGEX "_posix\\.cpp$")
  else()
    list(FILTER sources EXCLUDE REGEX "_win32\\.cpp$")
  endif()
  set(${variable} ${sources} PARENT_SCOPE)
endfunction()
