# `cpack -G DEB` in the build folder: nimbrel_<version>_<arch>.deb, installed under /usr,
# its dependencies read off the binary by dpkg-shlibdeps.
set(CPACK_PACKAGE_NAME nimbrel)
set(CPACK_PACKAGE_VENDOR Nimbrel)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "editor for the climate file of a game")
set(CPACK_PACKAGE_DESCRIPTION
  "Nimbrel edits data/weather.cfg, a game's climate file: 41 region slots, four seasons each, \
eighteen numbers a season. Start it in the game's folder (or give the folder), open the file, \
pick a region and a season, change the numbers and save the file back, byte for byte in the \
game's own layout.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Nimbrel developers <nimbrel@users.noreply.github.com>")
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
