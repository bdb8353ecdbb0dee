# `make package`: a .deb of what `cmake --install` puts in place, installed under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT ${VELMORA_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "public IP address, location and live network speed in the tray")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [=[
Velmora is a small network companion for the desktop. It lives in the tray,
draws the live download and upload rates into its tray item, finds the public
IP address and where geolocation services place it (flag, country, city,
provider, time zone), shows the local network state in a popover, runs a
one-click speed test and tells when the public address changes.

velmora-widget shows the address, the country and the network on the desktop.]=])
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Plugins Qt loads at run time, which the libraries' own dependencies do not name: the X11
# platform, and the SVG reader for the bundled symbols and icons.
# libcurl's symbols date from long before the options the speed test needs.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, libqt6svg6, libcurl4 (>= ${VELMORA_LIBCURL_MINIMUM})")
# Flags are emoji; without a colour emoji font they show as two letters. Qt's own translations
# put its standard dialogs (the colour picker) in the user's language.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-color-emoji, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
include(CPack)
