# `cpack -G DEB` in the build folder: nimbrel_<version>_<arch>.deb, installed under /usr,
# its dependencies read off the binary by dpkg-shlibdeps. `make package` builds it with the
# distribution's hardening flags in a folder of its own.
set(CPACK_PACKAGE_NAME nimbrel)
set(CPACK_PACKAGE_VENDOR "The Nimbrel developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "editor for the weather and climate file of a game")
# Debian's control file wants the long description in lines of at most 80 characters.
set(CPACK_PACKAGE_DESCRIPTION
  "Nimbrel edits data/weather.cfg, a game's climate file: 41 region slots,
four seasons each, eighteen numbers a season. Open the game folder or its
weather.cfg, pick a region and a season, change the numbers and save the
file back, byte for byte in the game's own layout.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Nimbrel developers <nimbrel@users.noreply.github.com>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${NIMBREL_DEBIAN_REVISION})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
