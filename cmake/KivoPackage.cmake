# The Debian package (CPack's DEB generator): configure a tree with
# -DCMAKE_INSTALL_PREFIX=/usr, then `cmake --build DIR --target package` gives
# kivo_3.1.0.7_<arch>.deb. Dependencies come from the binaries (dpkg-shlibdeps).
# The maintainer scripts only tell systemd about the units (reload, stop on
# removal, forget enabled links on purge); nothing is enabled on install.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kivo)
# The whole four-part version: CPack would otherwise build it from three parts.
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGE_CONTACT "Kivo Maintainers <kivo-maintainers@zelka.example>")
set(CPACK_PACKAGE_VENDOR "Kivo Maintainers")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# qt6-wayland: without it the utility runs through the compositor's X server on
# a Wayland desktop (no activation tokens, an X server started for it).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "prometheus-node-exporter")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "monitor for Zelka RAID controllers
The Kivo Disk Management Utility watches every Zelka RAID controller for
event notifications (a drive error, a degraded array, a rebuild) and alarms
the user from the notification area; its main window shows each controller's
versions, array units and drives.
.
For servers without a desktop: kivo-report prints the disk information report
or writes it as Prometheus metrics (with a timer that runs it every minute),
and kivo-watch prints the event notifications, as a systemd service.")

# Files under /etc are the administrator's: dpkg keeps their changes.
file(WRITE ${PROJECT_BINARY_DIR}/debian-control/conffiles
     "${CMAKE_INSTALL_FULL_SYSCONFDIR}/default/kivo\n${CMAKE_INSTALL_FULL_SYSCONFDIR}/xdg/autostart/kivo.desktop\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${PROJECT_BINARY_DIR}/debian-control/conffiles ${PROJECT_SOURCE_DIR}/packaging/debian/postinst
    ${PROJECT_SOURCE_DIR}/packaging/debian/prerm ${PROJECT_SOURCE_DIR}/packaging/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)

include(CPack)
