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

# Code that needs the run history lives in name_history.cpp, and what stands
# in for it in a build without the history (no SQLite or libpq) in
# name_history_none.cpp. vr512b_history_sources(list) keeps the one of the two
# this build can have; call it after the history's folder has been added.
function(vr512b_history_sources variable)
  set(sources ${${variable}})
  if(TARGET vr512b_history_console)
    list(FILTER sources EXCLUDE REGEX "_history_none\\.cpp$")
  else()
    list(FILTER sources EXCLUDE REGEX "_history\\.cpp$")
  endif()
  set(${variable} ${sources} PARENT_SCOPE)
endfunction()
