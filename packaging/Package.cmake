# SPDX-License-Identifier: GPL-3.0-or-later
# `cpack -G DEB` in the build folder makes a Debian package of what `cmake --install`
# lays out, under /usr. Depends comes from dpkg-shlibdeps (the libraries the programs
# link), plus what the programs load at run time without linking it.
set(CPACK_PACKAGE_NAME vorlane-gif)
set(CPACK_PACKAGE_VENDOR "The Vorlane Gif developers")
set(CPACK_PACKAGE_CONTACT "Vorlane Gif developers <contact@vorlane-gif.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "editor for animated GIF images")
set(CPACK_PACKAGE_DESCRIPTION
    "Vorlane Gif opens an animated GIF and shows its frames as thumbnails, previews or
plays the animation, and edits it: pictures of many formats are added as frames,
frames are removed, duplicated, moved, cut, copied and pasted, each frame's delay
and disposal and the animation's loop count and comment are set, and transition
frames (scroll, replacement, wipe, fade, separation) are generated. The result is
saved as a plain or an optimised GIF. A command-line tool, vorlane-gif-cli,
describes, unoptimizes and optimises GIF files without a window.")
set(CPACK_PACKAGE_HOMEPAGE_URL ${PROJECT_HOMEPAGE_URL})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so dpkg-shlibdeps cannot see them: the platform plugins without
# which no window opens, and the SVG icon engine that draws the window's icons. They are
# merged with the libraries dpkg-shlibdeps finds.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6")
# Picture formats for Add: Qt's TIFF, WebP and Targa readers, and ImageMagick's WMF reader.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-image-formats-plugins, libmagickcore-6.q16-6-extra")

include(CPack)
