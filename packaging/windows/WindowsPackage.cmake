# The Windows deployment folder and installer (included by packaging/ on a
# Windows build).
#
#   cmake --install BUILD --prefix STAGING    the deployment folder below
#   cpack --config BUILD/CPackConfig.cmake    qrv-firmware-upgrade-VERSION-win64.exe (NSIS)
#   scripts/package --windows                 both, from a build folder of its own
#
# What goes where (STAGING is the installer's "Program Files\VEXA\QRV FirmwareUpgrade"):
#   qrv-firmware-upgrade.exe, qrv-firmware-upgrade-cli.exe
#   Qt6Core.dll, Qt6Gui.dll, Qt6Widgets.dll       (the wizard's Qt)
#   platforms/qwindows.dll, styles/qwindowsvistastyle.dll
#   libstdc++-6.dll, libgcc_s_seh-1.dll, libwinpthread-1.dll (the mingw runtime Qt's DLLs need)
#   doc/                                          README, copyright
# The installer adds the Start menu entry and the uninstaller, and makes the
# Configurations and Reports folders, where the program keeps its saves,
# writable by the local Users group.

set(QRV_PACKAGE_NAME qrv-firmware-upgrade)

install(TARGETS qrv-firmware-upgrade-cli RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${CMAKE_CURRENT_SOURCE_DIR}/windows/license.txt DESTINATION doc)

if(NOT QRV_WITH_QT)
    return()
endif()

install(TARGETS qrv-firmware-upgrade RUNTIME DESTINATION .)
install(FILES $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets> DESTINATION .)
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms)
install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION styles)

# The compiler's own runtime DLLs, which Qt's DLLs import.
set(QRV_MINGW_RUNTIME "")
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
        OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${found}" OR NOT EXISTS "${found}")
        # libwinpthread lives with the mingw-w64 runtime, not with GCC.
        find_file(found_${dll} ${dll} PATHS /usr/${QRV_MINGW_TRIPLE}/lib /usr/${QRV_MINGW_TRIPLE}/bin NO_DEFAULT_PATH)
        set(found ${found_${dll}})
    endif()
    if(NOT EXISTS "${found}")
        message(FATAL_ERROR "The mingw runtime DLL ${dll} was not found")
    endif()
    list(APPEND QRV_MINGW_RUNTIME ${found})
endforeach()
install(FILES ${QRV_MINGW_RUNTIME} DESTINATION .)

# --- the installer
set(QRV_INSTALL_FOLDER "VEXA\\\\QRV FirmwareUpgrade")
set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_NAME ${QRV_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR "VEXA")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME ${QRV_PACKAGE_NAME}-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware upgrade wizard for QRV network cameras")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "${QRV_INSTALL_FOLDER}")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "QRV FirmwareUpgrade")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/windows/license.txt)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME "QRV FirmwareUpgrade")
set(CPACK_NSIS_DISPLAY_NAME "QRV FirmwareUpgrade")
set(CPACK_NSIS_MUI_ICON ${PROJECT_BINARY_DIR}/app/windows/qrv-firmware-upgrade.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_BINARY_DIR}/app/windows/qrv-firmware-upgrade.ico)
set(CPACK_NSIS_INSTALLED_ICON_NAME qrv-firmware-upgrade.exe)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
# The Start menu entry: the wizard, under the product's name.
set(CPACK_PACKAGE_EXECUTABLES qrv-firmware-upgrade "QRV FirmwareUpgrade")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_NSIS_COMPRESSOR "/SOLID lzma")
# A 64-bit installer (Debian's makensis carries the amd64 stubs and plugins):
# it runs where the program runs, and sees the 64-bit Program Files and registry.
set(CPACK_NSIS_EXECUTABLE ${CMAKE_CURRENT_SOURCE_DIR}/windows/makensis-amd64)
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
# The program keeps saved configurations and batch reports below its own
# folder, where a standard user cannot write: the installer makes both
# folders and gives the local Users group (S-1-5-32-545, whatever the
# system's language calls it) modify rights on them and what they will hold.
# The uninstaller leaves them when they hold saves (RMDir without /r).
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS [=[
  CreateDirectory '$INSTDIR\Configurations'
  CreateDirectory '$INSTDIR\Reports'
  nsExec::ExecToLog 'icacls "$INSTDIR\Configurations" /grant *S-1-5-32-545:(OI)(CI)M'
  Pop $0
  nsExec::ExecToLog 'icacls "$INSTDIR\Reports" /grant *S-1-5-32-545:(OI)(CI)M'
  Pop $0
]=])
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS [=[
  RMDir '$INSTDIR\Configurations'
  RMDir '$INSTDIR\Reports'
]=])
include(CPack)
