# Installation and the Debian package (cpack -G DEB, or the target "package"):
#   /usr/lib/pelmar   the program directory: both programs, both computation
#                     libraries, the language tables, PelmarGeneral.ini,
#                     HeaderInfo.dat, Ellip.db and the manuals
#   /usr/bin/pelmar, /usr/bin/pelmar-cli
#                     links into it (the programs find their directory through
#                     /proc/self/exe, which names the link's target)
#   the desktop entry, the SVG icon and the man page pelmar-cli.1
# Installed below /usr the program directory is read-only: the user's files
# go to $XDG_DATA_HOME/pelmar (ProgramDirectory.h).
include(GNUInstallDirs)
set(PELMAR_INSTALL_DIR "${CMAKE_INSTALL_LIBDIR}/pelmar")
# Debian keeps private program directories in /usr/lib, not the multiarch one.
set(PELMAR_INSTALL_DIR "lib/pelmar")

install(TARGETS pelmar-cli RUNTIME DESTINATION "${PELMAR_INSTALL_DIR}")
if(PELMAR_BUILD_GUI)
  install(TARGETS pelmar RUNTIME DESTINATION "${PELMAR_INSTALL_DIR}")
endif()
install(TARGETS VIVoraruraze ZIVezivIvuz LIBRARY DESTINATION "${PELMAR_INSTALL_DIR}")
install(FILES
  "${PELMAR_BIN_DIR}/LangEN.lng" "${PELMAR_BIN_DIR}/LangDE.lng" "${PELMAR_BIN_DIR}/PelmarGeneral.ini"
  "${PELMAR_BIN_DIR}/HeaderInfo.dat" "${PELMAR_BIN_DIR}/Ellip.db"
  DESTINATION "${PELMAR_INSTALL_DIR}")
if(PELMAR_BUILD_GUI)
  install(FILES "${PELMAR_BIN_DIR}/PelmarEN.pdf" "${PELMAR_BIN_DIR}/PelmarDE.pdf" DESTINATION "${PELMAR_INSTALL_DIR}")
endif()

# Relative links, so that an unpacked copy (dpkg-deb -x) runs where it lies.
set(links "${CMAKE_BINARY_DIR}/install-links")
file(MAKE_DIRECTORY "${links}")
set(programs pelmar-cli)
if(PELMAR_BUILD_GUI)
  list(APPEND programs pelmar)
endif()
foreach(program IN LISTS programs)
  file(CREATE_LINK "../${PELMAR_INSTALL_DIR}/${program}" "${links}/${program}" SYMBOLIC)
  install(FILES "${links}/${program}" DESTINATION "${CMAKE_INSTALL_BINDIR}")
endforeach()

# Man pages and the changelog compressed as Debian keeps them (gzip -9n: no
# name or time stamp in the file, so the package is reproducible); the
# copyright file as it is.
find_program(PELMAR_GZIP gzip REQUIRED)
set(compressed)
set(pages pelmar-cli.1)
if(PELMAR_BUILD_GUI)
  list(APPEND pages pelmar.1)
endif()
foreach(file IN LISTS pages ITEMS changelog)
  set(out "${CMAKE_BINARY_DIR}/packaging/${file}.gz")
  add_custom_command(OUTPUT "${out}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_BINARY_DIR}/packaging"
    COMMAND ${PELMAR_GZIP} -9n -c "${PROJECT_SOURCE_DIR}/packaging/${file}" > "${out}"
    DEPENDS "${PROJECT_SOURCE_DIR}/packaging/${file}"
    VERBATIM)
  list(APPEND compressed "${out}")
endforeach()
add_custom_target(pelmar_packaging_files ALL DEPENDS ${compressed})
foreach(page IN LISTS pages)
  install(FILES "${CMAKE_BINARY_DIR}/packaging/${page}.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
endforeach()
install(FILES "${CMAKE_BINARY_DIR}/packaging/changelog.gz" "${PROJECT_SOURCE_DIR}/packaging/copyright"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/pelmar")
if(PELMAR_BUILD_GUI)
  install(FILES "${PROJECT_SOURCE_DIR}/packaging/pelmar.desktop" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
  install(FILES "${PROJECT_SOURCE_DIR}/packaging/pelmar.svg"
          DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps")
endif()

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "pelmar")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Pelmar")
set(CPACK_PACKAGE_CONTACT "Pelmar <support@pelmar.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # pelmar_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION "science")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# dpkg-shlibdeps looks for the libraries of every file it scans; the two
# computation libraries are the package's own and lie in the program directory.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${PELMAR_BIN_DIR}")
# Qt's own texts (file dialogs, edit menus) in German come from Debian's Qt
# translations; the libraries alone bring English.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-translations-l10n")
# The long description; CPack puts the summary above it as the synopsis.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Pelmar converts plain-text point files between geographic, cartesian and
map projection coordinates, estimates plane and spatial transformations
from identical points with a gross-error test for every point and residual
plots, applies stored parameter sets and NTv2 grids, and solves geodetic
problems on the ellipsoid. It comes as a desktop program (pelmar) and a
command-line tool (pelmar-cli).")
set(CPACK_STRIP_FILES ON)
include(CPack)
