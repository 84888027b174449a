# Installation and the Debian package (cd build && cpack -G DEB).
#
# Programs: every one of the list that the tree builds; a program not yet
# written (or left out of this build) is simply not installed.

include(GNUInstallDirs)

set(OMBRIX_PROGRAMAS ombrix ombrix-logger ombrix-sim ombrix-export ombrix-report ombrix-verify ombrix-central)
foreach(programa IN LISTS OMBRIX_PROGRAMAS)
  if(TARGET ${programa})
    install(TARGETS ${programa} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

# The template every new data root starts from (see src/config/rutas.cpp).
install(FILES ${OMBRIX_MODELO} DESTINATION ${CMAKE_INSTALL_DATADIR}/ombrix)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/ombrix.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/ombrix.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/packaging/copyright
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/ombrix)

# The manual pages and the changelog, compressed as Debian keeps them
# (gzip -9n: no name nor time inside, so the same input gives the same file).
find_program(GZIP_EXE gzip REQUIRED)
set(OMBRIX_COMPRIMIDOS)
function(ombrix_comprimir origen destino)
  add_custom_command(
    OUTPUT ${destino}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
    COMMAND ${CMAKE_COMMAND} -DORIGEN=${origen} -DDESTINO=${destino}.txt -DVERSION=${PROJECT_VERSION}
            -P ${CMAKE_SOURCE_DIR}/packaging/version.cmake
    COMMAND ${GZIP_EXE} -9nf ${destino}.txt
    COMMAND ${CMAKE_COMMAND} -E rename ${destino}.txt.gz ${destino}
    DEPENDS ${origen} ${CMAKE_SOURCE_DIR}/packaging/version.cmake
    VERBATIM)
  set(OMBRIX_COMPRIMIDOS ${OMBRIX_COMPRIMIDOS} ${destino} PARENT_SCOPE)
endfunction()
foreach(programa IN LISTS OMBRIX_PROGRAMAS)
  if(TARGET ${programa})
    set(manual ${CMAKE_BINARY_DIR}/packaging/${programa}.1.gz)
    ombrix_comprimir(${CMAKE_SOURCE_DIR}/packaging/man/${programa}.1 ${manual})
    install(FILES ${manual} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endforeach()
ombrix_comprimir(${CMAKE_SOURCE_DIR}/packaging/changelog ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/ombrix)
add_custom_target(documentacion ALL DEPENDS ${OMBRIX_COMPRIMIDOS})

# The recorder's unit names the program by its full path, which is known only
# when installing (cpack installs with prefix /usr, cmake --install with any).
# With the prefix /usr it goes where bookworm's packages put their units,
# /lib/systemd/system; under another prefix, to <prefix>/lib/systemd/system.
set(OMBRIX_UNIDAD_IN ${CMAKE_SOURCE_DIR}/packaging/ombrix-logger@.service.in)
set(OMBRIX_UNIDAD ${CMAKE_BINARY_DIR}/packaging/ombrix-logger@.service)
install(CODE "
  set(OMBRIX_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  configure_file(\"${OMBRIX_UNIDAD_IN}\" \"${OMBRIX_UNIDAD}\" @ONLY)
  set(ombrix_unidades \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/system\")
  if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
    set(ombrix_unidades /lib/systemd/system)
  endif()
  file(INSTALL DESTINATION \"\${ombrix_unidades}\" TYPE FILE FILES \"${OMBRIX_UNIDAD}\")
")

set(CPACK_PACKAGE_NAME ombrix)
set(CPACK_PACKAGE_VENDOR "Ombrix")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Adquisición de datos de instrumentos de proceso en una línea RS-485")
set(CPACK_PACKAGE_DESCRIPTION [=[
Supervisa con Modbus RTU hasta 20 controladores de temperatura y
programadores de rampa y meseta en una línea RS-485, muestra cada uno en un
panel en vivo y registra sus lecturas en bases de datos SQLite, con tablas,
gráficos de tiempo e informes impresos.

Incluye el registrador sin pantalla (ombrix-logger, también como servicio
de systemd ombrix-logger@LÍNEA), la exportación CSV (ombrix-export), los
informes PDF (ombrix-report), la preparación de la base central PostgreSQL a
la que las líneas envían sus filas (ombrix-central) y un simulador de
instrumentos (ombrix-sim).]=])
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
