# Installation under /usr and the Debian package "tarniks" (cpack -G DEB in the build folder;
# scripts/package does it all and checks the result).
include(GNUInstallDirs)

# dpkg wants 0755 folders whatever the umask of whoever builds the package.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(TARGETS TarnikS TarnikSim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${CMAKE_SOURCE_DIR}/res/tarniks.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# The icons are the panel's own drawing made at 256 px and scaled down once, so that the desktop
# never has to blow up the 64 px one; they are committed, the build needs no image tools.
foreach(size 16 32 48 64 128 256)
  install(FILES ${CMAKE_SOURCE_DIR}/res/icons/hicolor/tarniks_${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME tarniks.png)
endforeach()

# The simulator's options as it prints them, written when it is built so they cannot drift apart.
set(TARNIK_SIM_TXT ${CMAKE_BINARY_DIR}/doc/TarnikSim.txt)
set(TARNIK_SIM_MAN ${CMAKE_BINARY_DIR}/doc/TarnikSim.1)
add_custom_command(
  OUTPUT ${TARNIK_SIM_TXT} ${TARNIK_SIM_MAN}.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/doc
  COMMAND ${CMAKE_COMMAND} -DSIM=$<TARGET_FILE:TarnikSim> -DTXT=${TARNIK_SIM_TXT} -DMAN=${TARNIK_SIM_MAN}
          -DMAN_GZ=${TARNIK_SIM_MAN}.gz -DVERSION=${PROJECT_VERSION} -P ${CMAKE_SOURCE_DIR}/cmake/SimHelp.cmake
  DEPENDS TarnikSim ${CMAKE_SOURCE_DIR}/cmake/SimHelp.cmake
  COMMENT "Writing TarnikSim --help into the package's documentation"
  VERBATIM)
add_custom_target(tarniksim_doc ALL DEPENDS ${TARNIK_SIM_TXT} ${TARNIK_SIM_MAN}.gz)

install(FILES ${TARNIK_SIM_TXT} ${CMAKE_SOURCE_DIR}/res/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tarniks)
install(FILES ${TARNIK_SIM_MAN}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarniks)
set(CPACK_PACKAGE_VENDOR "TarnikS developers")
set(CPACK_PACKAGE_CONTACT "TarnikS developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "control panel for a three-axis motion stage on a serial line")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)   # tarniks_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "TarnikS developers")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends comes from the libraries the two programs actually link (dpkg-shlibdeps, in dpkg-dev).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The summary above is the synopsis line; this is the text below it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "TarnikS jogs, moves, homes and parks the three axes of a stage controller
that speaks G-code over a serial port, shows its position and measures depth.
TarnikSim plays such a controller on a pseudo-terminal, to try the panel
without hardware. Settings, the log and the ports folder are kept in
$XDG_CONFIG_HOME/TarnikS (by default ~/.config/TarnikS).")
include(CPack)
