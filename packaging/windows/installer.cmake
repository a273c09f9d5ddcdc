# The Windows installer: CPack's NSIS generator (Debian's nsis) makes
# vr512b-diag-VERSION-win64.exe, installing into Program Files the two programs,
# the Qt DLLs with the platform plugin and the style, and the MinGW runtime the
# window shares with Qt; a Start-menu entry and an uninstaller. /S installs and
# uninstalls silently.
#   cmake --build build-windows && (cd build-windows && cpack -G NSIS)

if(TARGET vr512b-diag)
  set(qt_dlls Qt6::Core Qt6::Gui Qt6::Widgets)
  foreach(qt_dll ${qt_dlls})
    install(FILES $<TARGET_FILE:${qt_dll}> DESTINATION bin)
  endforeach()
  install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION bin/platforms)
  if(TARGET Qt6::QWindowsVistaStylePlugin)
    install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION bin/styles)
  endif()

  # The toolkit's own texts in Russian (file dialogs, standard buttons),
  # which the window loads from translations/ beside it. A .qm file is the
  # same on every platform: Debian's (qt6-translations-l10n) serves when the
  # MinGW Qt has none of its own.
  get_filename_component(qt_prefix ${Qt6_DIR}/../../.. ABSOLUTE)
  find_file(VR512B_QTBASE_RU qtbase_ru.qm
            PATHS ${qt_prefix}/translations /usr/share/qt6/translations NO_DEFAULT_PATH
            NO_CMAKE_FIND_ROOT_PATH)
  if(VR512B_QTBASE_RU)
    install(FILES ${VR512B_QTBASE_RU} DESTINATION bin/translations)
  else()
    message(WARNING "qtbase_ru.qm not found: the installed window's file dialogs stay English "
                    "(apt-get install qt6-translations-l10n)")
  endif()

  # The shared C++ runtime the Qt DLLs and the window are linked against.
  set(runtime_dlls)
  foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${found}")
      find_file(found_${dll} ${dll} PATHS /usr/${VR512B_MINGW_PREFIX}/lib NO_DEFAULT_PATH
                REQUIRED)
      set(found ${found_${dll}})
    endif()
    list(APPEND runtime_dlls ${found})
  endforeach()
  install(FILES ${runtime_dlls} DESTINATION bin)

  # Qt's DLLs come with their symbols; the installer needs none of them.
  install(CODE "
    file(GLOB_RECURSE shipped_dlls \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/*.dll\")
    foreach(dll \${shipped_dlls})
      execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded \"\${dll}\"
                      COMMAND_ERROR_IS_FATAL ANY)
    endforeach()")
endif()

set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_NAME vr512b-diag)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Korvex)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Bench diagnostic console for the VR512B console terminal unit")
set(CPACK_PACKAGE_FILE_NAME vr512b-diag-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Korvex VR512B Diag")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "Korvex VR512B Diag")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_DISPLAY_NAME "Диагностика VR512B")
set(CPACK_NSIS_PACKAGE_NAME "Диагностика VR512B")
# The Start-menu entry, in a folder of its own name.
set(CPACK_PACKAGE_EXECUTABLES "vr512b-diag;Диагностика VR512B")
set(CPACK_NSIS_INSTALLED_ICON_NAME bin\\\\vr512b-diag.exe)
# A 64-bit installer for the 64-bit programs, runs where they run (no 32-bit
# subsystem needed); its Unicode strings carry the Cyrillic names.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_COMPRESSOR "/SOLID lzma")
set(CPACK_STRIP_FILES ON)
include(CPack)
