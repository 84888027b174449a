# Installation and the Debian package (cd build && cpack -G DEB).
#
# Programs: every one of the list that the tree builds; a program not yet
# written (or left out of this build) is simply not installed.

include(GNUInstallDirs)

set(OMBRIX_PROGRAMAS ombrix ombrix-logger ombrix-sim ombrix-export ombrix-report ombrix-verify)
foreach(programa IN LISTS OMBRIX_PROGRAMAS)
  if(TARGET ${programa})
    install(TARGETS ${programa} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

# The template every new data root starts from (see src/config/rutas.cpp).
install(FILES ${OMBRIX_MODELO} DESTINATION ${CMAKE_INSTALL_DATADIR}/ombrix)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/ombrix.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/ombrix.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/ombrix)

# The recorder's unit names the program by its full path, which is known only
# when installing (cpack installs with prefix /usr, cmake --install with any).
set(OMBRIX_UNIDAD_IN ${CMAKE_SOURCE_DIR}/packaging/ombrix-logger@.service.in)
set(OMBRIX_UNIDAD ${CMAKE_BINARY_DIR}/packaging/ombrix-logger@.service)
install(CODE "
  set(OMBRIX_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  configure_file(\"${OMBRIX_UNIDAD_IN}\" \"${OMBRIX_UNIDAD}\" @ONLY)
  file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/system\" TYPE FILE FILES \"${OMBRIX_UNIDAD}\")
")

set(CPACK_PACKAGE_NAME ombrix)
set(CPACK_PACKAGE_VENDOR "Ombrix")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Adquisición de datos de instrumentos de proceso en una línea RS-485")
set(CPACK_PACKAGE_DESCRIPTION
  "Supervises up to 20 temperature controllers and ramp/soak programmers on one RS-485 line with Modbus RTU, shows each in a live panel and records their readings into a database. Includes the headless recorder (ombrix-logger, also as the systemd service ombrix-logger@<line>) and an instrument simulator (ombrix-sim).")
set(CPACK_PACKAGE_CONTACT "Ombrix developers <ombrix@example.org>")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Ombrix developers <ombrix@example.org>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Libraries the binaries link come from dpkg-shlibdeps; what is loaded at run
# time (the SQLite driver of Qt, the display font) and what the scripts use
# has to be named.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dseg, libqt6sql6-sqlite, adduser")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${CMAKE_SOURCE_DIR}/packaging/postinst
  ${CMAKE_SOURCE_DIR}/packaging/prerm
  ${CMAKE_SOURCE_DIR}/packaging/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_GENERATOR DEB)

include(CPack)
