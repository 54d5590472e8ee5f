# Installation under /usr and the Debian package "tarniks" (cpack -G DEB in the build folder;
# scripts/package does it all and checks the result).
include(GNUInstallDirs)

# dpkg wants 0755 folders whatever the umask of whoever builds the package.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(TARGETS TarnikS TarnikSim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Plain strip keeps the compiler's ident strings; a distribution's packages carry none.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    foreach(exe $<TARGET_FILE_NAME:TarnikS> $<TARGET_FILE_NAME:TarnikSim>)
      execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
                              \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${exe}\"
                      RESULT_VARIABLE rc)
      if(NOT rc EQUAL 0)
        message(FATAL_ERROR \"stripping \${exe} failed\")
      endif()
    endforeach()
  endif()")

install(FILES ${CMAKE_SOURCE_DIR}/res/tarniks.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# The icons are the panel's own drawing made at 256 px and scaled down once, so that the desktop
# never has to blow up the 64 px one; they are committed, the build needs no image tools.
foreach(size 16 32 48 64 128 256)
  install(FILES ${CMAKE_SOURCE_DIR}/res/icons/hicolor/tarniks_${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME tarniks.png)
endforeach()

# The documentation is made in the build folder: the simulator's options as it prints them (so that
# they cannot drift apart), the panel's manual page with its version filled in, and Debian's
# compressed copies of the manual pages and the changelog.
set(TARNIK_DOC ${CMAKE_BINARY_DIR}/doc)
add_custom_command(
  OUTPUT ${TARNIK_DOC}/TarnikSim.txt ${TARNIK_DOC}/TarnikSim.1
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TARNIK_DOC}
  COMMAND ${CMAKE_COMMAND} -DSIM=$<TARGET_FILE:TarnikSim> -DTXT=${TARNIK_DOC}/TarnikSim.txt
          -DMAN=${TARNIK_DOC}/TarnikSim.1 -DVERSION=${PROJECT_VERSION} -P ${CMAKE_SOURCE_DIR}/cmake/SimHelp.cmake
  DEPENDS TarnikSim ${CMAKE_SOURCE_DIR}/cmake/SimHelp.cmake
  COMMENT "Writing TarnikSim --help into the package's documentation"
  VERBATIM)
configure_file(${CMAKE_SOURCE_DIR}/res/TarnikS.1.in ${TARNIK_DOC}/TarnikS.1 @ONLY)

# The package's version is the project's; a release without its changelog entry stops here.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/res/changelog)
file(STRINGS ${CMAKE_SOURCE_DIR}/res/changelog TARNIK_CHANGELOG_TOP LIMIT_COUNT 1)
string(REGEX MATCH "^tarniks \\(([^)]*)\\) " TARNIK_CHANGELOG_TOP "${TARNIK_CHANGELOG_TOP}")
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "res/changelog's top entry is for version \"${CMAKE_MATCH_1}\"; "
                      "add an entry for tarniks ${PROJECT_VERSION} above it")
endif()

set(TARNIK_DOC_GZ)
foreach(src ${TARNIK_DOC}/TarnikSim.1 ${TARNIK_DOC}/TarnikS.1 ${CMAKE_SOURCE_DIR}/res/changelog)
  get_filename_component(name ${src} NAME)
  add_custom_command(
    OUTPUT ${TARNIK_DOC}/${name}.gz
    COMMAND ${CMAKE_COMMAND} -DIN=${src} -DOUT=${TARNIK_DOC}/${name}.gz -P ${CMAKE_SOURCE_DIR}/cmake/Gzip.cmake
    DEPENDS ${src} ${CMAKE_SOURCE_DIR}/cmake/Gzip.cmake
    VERBATIM)
  list(APPEND TARNIK_DOC_GZ ${TARNIK_DOC}/${name}.gz)
endforeach()
add_custom_target(tarniks_doc ALL DEPENDS ${TARNIK_DOC}/TarnikSim.txt ${TARNIK_DOC_GZ})

install(FILES ${TARNIK_DOC}/TarnikSim.txt ${CMAKE_SOURCE_DIR}/res/copyright ${TARNIK_DOC}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tarniks)
install(FILES ${TARNIK_DOC}/TarnikS.1.gz ${TARNIK_DOC}/TarnikSim.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarniks)
set(CPACK_PACKAGE_VENDOR "TarnikS developers")
# A placeholder in the reserved .invalid domain until the project names a real address.
set(TARNIK_MAINTAINER "TarnikS developers <tarniks-dev@tarniks.invalid>")
set(CPACK_PACKAGE_CONTACT ${TARNIK_MAINTAINER})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "control panel for a three-axis motion stage on a serial line")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)   # tarniks_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${TARNIK_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends comes from the libraries the two programs actually link (dpkg-shlibdeps, in dpkg-dev),
# and the platform plugins Qt loads at start-up, which no library links: libqt6gui6 only
# recommends them, and without one the panel aborts before it opens a window.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
# The summary above is the synopsis line; this is the text below it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "TarnikS jogs, moves, homes and parks the three axes of a stage controller
that speaks G-code over a serial port, shows its position and measures depth.
TarnikSim plays such a controller on a pseudo-terminal, to try the panel
without hardware. Settings, the log and the ports folder are kept in
$XDG_CONFIG_HOME/TarnikS (by default ~/.config/TarnikS).")
include(CPack)
