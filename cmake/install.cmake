# Installing Quillmere (cmake --install) and its Debian package (CPack, scripts/package.sh).
# Included from the top-level CMakeLists.txt, after the desktop program and the demo course.
#
# The layout under the prefix; the programs find one another and their data relative to
# their own folder, so the installation can be moved as a whole:
#   bin/quillmere                      the shell
#   lib/quillmere/FlashPlayer          the standalone player
#   lib/quillmere/QuillmereWebEngineProcess  the web engine's processes
#   share/quillmere/ruffle/            the Ruffle web player
#   share/quillmere/fonts/device.ttf   the device font
#   share/quillmere/demo/              the demo course, read-only (quillmere --demo)
#   share/applications/, share/icons/, share/man/man1/, share/doc/quillmere/
if(NOT QM_QT OR QM_SANITIZE OR QM_FUZZ)
  return()
endif()
include(GNUInstallDirs)
if(NOT CMAKE_INSTALL_BINDIR STREQUAL "bin" OR NOT CMAKE_INSTALL_DATADIR STREQUAL "share")
  message(FATAL_ERROR "The programs find their data at ../share/quillmere: keep bin/ and share/")
endif()
set(QM_SHARE ${CMAKE_INSTALL_DATADIR}/quillmere)
# Installing takes what the build made; scripts/package.sh builds the targets it needs.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

install(TARGETS quillmere RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Not the multiarch library folder: the player's own place is one fixed step from bin/.
install(TARGETS qm_flash_player qm_web_engine_process RUNTIME DESTINATION lib/quillmere)
install(FILES ${QM_RUFFLE_FILES} ${QM_RUFFLE_DIR}/qm-wasm.js DESTINATION ${QM_SHARE}/ruffle)
install(FILES ${QM_CJK_FONT} DESTINATION ${QM_SHARE}/fonts)

# The demo course as the build assembles it, without the programs (the installed shell
# plays it, and the standalone player stands in for its FlashPlayer.exe).
foreach(file ${QM_COURSE_DIR}/main.swf ${QM_COURSE_DIR}/lesson1/intro.swf
             ${QM_COURSE_DIR}/version.swf ${QM_DEMO_SOUNDS} ${QM_DEMO_COPIES})
  file(RELATIVE_PATH relative ${QM_COURSE_DIR} ${file})
  get_filename_component(folder ${relative} DIRECTORY)
  install(FILES ${file} DESTINATION ${QM_SHARE}/demo/${folder})
endforeach()

install(FILES packaging/quillmere.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/quillmere.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES packaging/quillmere.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES packaging/copyright ${QM_RUFFLE_SOURCE}/LICENSE_MIT ${QM_RUFFLE_SOURCE}/LICENSE_APACHE
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quillmere)

# The Debian package: bash scripts/package.sh.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillmere)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Each Debian release gets a package of its own, built there against its libraries: the
# version says which, in Debian's way (1.0+deb12, 1.0+deb13; a newer release's sorts
# later, so an upgraded system takes its own). Another system gets the plain version.
cmake_host_system_information(RESULT qm_system QUERY DISTRIB_ID DISTRIB_VERSION_ID)
list(GET qm_system 0 qm_system_id)
list(GET qm_system 1 qm_system_version)
set(qm_package_suffix "")
if(qm_system_id STREQUAL "debian" AND qm_system_version MATCHES "^[0-9]+$")
  set(qm_package_suffix "+deb${qm_system_version}")
endif()
set(QM_PACKAGE_SUFFIX "${qm_package_suffix}" CACHE STRING
    "What the package's version adds for the system it is built on (+deb12, +deb13)")
set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION}${QM_PACKAGE_SUFFIX})
set(CPACK_PACKAGE_CONTACT "Quillmere developers <quillmere@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop shell for Flash courseware")
set(CPACK_PACKAGE_DESCRIPTION
    "Quillmere plays Flash courses (a course folder with its main.swf) with the Ruffle\n"
    "player, and gives them the services their movies expect of their shell: text\n"
    "files and settings, window control, sound playback and voice recording, a\n"
    "teaching-resource library, opening documents and lesson movies.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Beside the libraries the binaries link: the web engine's renderer process, the font of
# the dialogs' Chinese text, the sound server's client, the document opener.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6webenginecore6-bin, fonts-wqy-microhei, libpulse0, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pulseaudio | pipewire-pulse")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/cpack)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_SOURCE_DIR}/dist)
include(CPack)
