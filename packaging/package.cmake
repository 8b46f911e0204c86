# "make package": a Debian package of the installed files. Its library
# dependencies come from dpkg-shlibdeps. scripts/package.sh builds it in a
# build folder of its own, with Debian's build flags and without the tests,
# and checks it with lintian.
include(${CMAKE_CURRENT_LIST_DIR}/release.cmake)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kvxc)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${KVX_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KVX_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${KVX_HOMEPAGE}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "manager for RDS/RBDS encoders on a serial port")
set(CPACK_PACKAGE_DESCRIPTION
    "kvxc reads every setting of an FM RDS/RBDS encoder over a serial port
(usually a USB serial adapter), edits them in one window, validates the
edits and writes back only what changed. It also sets the encoder's clock,
restores its factory settings and keeps settings files.

kvxctl does the same from the command line; kvxsim simulates an encoder.")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so dpkg-shlibdeps cannot see them: the window's display
# plugins, and the fonts the fixed layout is measured in.
if(TARGET kvxc)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation")
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/strip_sections.cmake)
include(CPack)
