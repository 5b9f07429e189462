# Install rules shared by every build, and the Debian package:
#   cmake --install BUILD --prefix P   (P/bin, P/lib/vapixcam, P/share/vapixcam, P/include/orix)
#   cpack -G DEB                       (in BUILD; or scripts/package.sh)
# The tools' and the module's own rules are next to their targets.

# The host SDK for host developers.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/sdk/include/orix DESTINATION include)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vapixcam)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Vapixcam")
set(CPACK_PACKAGE_CONTACT "Vapixcam developers <dev@vapixcam.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Axis network camera driver module, its command line and a simulated camera")
set(CPACK_PACKAGE_DESCRIPTION
    "Velto.Vapixcam.vdx drives Axis network cameras over VAPIX and RTSP for a video-management host.\n\
vapixcam loads the module and drives a camera from the command line; camsim is a simulated\n\
Axis camera to try it against. The host SDK headers are included.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends: computed by dpkg-shlibdeps from the libraries the programs and the
# module link (Boost, OpenSSL, JsonCpp, the C++ runtime).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
