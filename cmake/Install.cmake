# Install layout and the Debian package. The program finds its read-only data at
# <executable dir>/../share/quorvel, so the binaries go to bin/ (quorvel starts quorvel-window from
# its own folder) and the data beside them in share/.

include(GNUInstallDirs)

if(NOT CMAKE_INSTALL_BINDIR STREQUAL "bin" OR NOT CMAKE_INSTALL_DATAROOTDIR STREQUAL "share")
    message(WARNING "quorvel looks for its data at <executable dir>/../share/quorvel: with "
        "CMAKE_INSTALL_BINDIR=${CMAKE_INSTALL_BINDIR} and CMAKE_INSTALL_DATAROOTDIR=${CMAKE_INSTALL_DATAROOTDIR} "
        "it finds it only through QUORVEL_HOME")
endif()

set(QUORVEL_INSTALL_PROGRAM_DIR ${CMAKE_INSTALL_DATAROOTDIR}/quorvel)
set(QUORVEL_DATA ${PROJECT_SOURCE_DIR}/data)

install(TARGETS quorvel quorvel-window RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The program folder. Whole folders are copied at install time, so static/ brings the generated
# country tables when they exist; help/ is optional.
install(DIRECTORY
        ${QUORVEL_DATA}/static
        ${QUORVEL_DATA}/templates
        ${QUORVEL_DATA}/xsllib
        ${QUORVEL_DATA}/lang
        ${QUORVEL_DATA}/chartsvg
        ${QUORVEL_DATA}/groups
        ${QUORVEL_DATA}/samples
        ${QUORVEL_DATA}/icons
    DESTINATION ${QUORVEL_INSTALL_PROGRAM_DIR})
install(DIRECTORY ${QUORVEL_DATA}/help DESTINATION ${QUORVEL_INSTALL_PROGRAM_DIR} OPTIONAL)
install(FILES ${QUORVEL_DATA}/cvtips.txt DESTINATION ${QUORVEL_INSTALL_PROGRAM_DIR})

# The desktop menu entry and its icon.
install(FILES ${QUORVEL_DATA}/quorvel.desktop DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
install(FILES ${QUORVEL_DATA}/icons/quorvel.svg DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps)

# The manual page and the bash completion (loaded on demand by the name of the command).
install(FILES ${QUORVEL_DATA}/quorvel.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${QUORVEL_DATA}/completion/quorvel.bash DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions
    RENAME quorvel)

# `cpack -G DEB` in the build folder makes quorvel_<version>_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Quorvel developers <dev@quorvel.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "analyser of web-server access logs with HTML reports")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quorvel developers <dev@quorvel.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Quorvel reads a site's access logs (any line layout given by format codes, or
W3C extended logs; plain, gzip, tar or zip; local or fetched by FTP), rebuilds
visits, filters them and writes an HTML report with charts that stays on disk as
a folder of its own. Profiles are set up in a desktop window; with a profile
name on its command line the program makes that report without any window,
from a terminal or from cron.")
# Linked libraries come from dpkg-shlibdeps; these are loaded at run time without being linked:
# libcurl for the FTP fetch, the window system plugins, the SVG icon engine, the charts' font and
# the document launcher.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcurl4, qt6-qpa-plugins, libqt6svg6, fonts-liberation, xdg-utils")

include(CPack)
