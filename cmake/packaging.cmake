# Packages, made by CPack (scripts/package) into build/<preset>/packages/: from a Windows build
# the SDK zip for host developers, from a Linux build the Debian package of the vantrel tool.
# Both carry the project's version.
set(CPACK_PACKAGE_NAME vantrel)
set(CPACK_PACKAGE_VENDOR Vantrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Vantrel developers")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)

if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_PACKAGE_FILE_NAME vantrel-sdk-win32-${PROJECT_VERSION})
  else()
    set(CPACK_PACKAGE_FILE_NAME vantrel-sdk-win64-${PROJECT_VERSION})
  endif()
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION net)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The service's user is made by adduser, from the package's own scripts.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS adduser)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/tools/vantrel/service/postinst
                                         ${PROJECT_SOURCE_DIR}/tools/vantrel/service/postrm)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "remote-console server, headless viewer and protocol tools")
  # The text under the summary line.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "vantrel plays either side of the Vantrel remote-console protocol from Linux: a console
server that logs viewers in against an account file and serves them a screen, a viewer in a
window, a headless viewer that saves what it receives as PNG, the LAN discovery probe, and the
codec and credential cipher as tools. The console runs as a systemd service per configuration
(vantrel-console@NAME, /etc/vantrel/NAME.conf), or as a desktop's owner in the user's systemd.")
endif()

include(CPack)
