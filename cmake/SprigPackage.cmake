# The Debian package of sprig and sprig-render, made with `cpack -G DEB` in a build tree
# (scripts/package does that and checks the result). It installs into /usr what
# `cmake --install` installs, stripped, with dependencies from dpkg-shlibdeps, and the
# copyright and changelog files Debian asks for.

set(sprig_maintainer "The Sprig developers <sprig@users.noreply.github.com>")
set(sprig_doc_dir "${CMAKE_INSTALL_DATADIR}/doc/sprig")

# The licence in Debian's machine-readable copyright format (MIT is "Expat" there).
file(READ "${PROJECT_SOURCE_DIR}/LICENSE" sprig_license)
if(NOT SPRIG_LICENSE STREQUAL "MIT" OR NOT sprig_license MATCHES "^MIT License\n")
    message(FATAL_ERROR "LICENSE is not the ${SPRIG_LICENSE} licence that SPRIG_LICENSE names")
endif()
string(REGEX REPLACE "^MIT License\n\n[^\n]*\n\n" "" sprig_license "${sprig_license}")
string(REGEX REPLACE "\n\n" "\n.\n" sprig_license "${sprig_license}")
string(REGEX REPLACE "\n([^\n])" "\n \\1" sprig_license "${sprig_license}")
file(WRITE "${PROJECT_BINARY_DIR}/package/copyright"
     "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
     "Upstream-Name: Sprig\n"
     "Source: ${SPRIG_HOMEPAGE}\n\n"
     "Files: *\n"
     "Copyright: 2026 The Sprig developers\n"
     "License: Expat\n ${sprig_license}")
install(FILES "${PROJECT_BINARY_DIR}/package/copyright" DESTINATION "${sprig_doc_dir}")

# One entry for the version packaged, compressed as Debian compresses changelogs.
execute_process(COMMAND date -u -R -d "${SPRIG_RELEASE_DATE}" OUTPUT_VARIABLE sprig_release_time
                OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
file(WRITE "${PROJECT_BINARY_DIR}/package/changelog.Debian"
     "sprig (${PROJECT_VERSION}-1) unstable; urgency=medium\n\n"
     "  * Sprig ${PROJECT_VERSION}.\n\n"
     " -- ${sprig_maintainer}  ${sprig_release_time}\n")
execute_process(COMMAND gzip -9nf "${PROJECT_BINARY_DIR}/package/changelog.Debian"
                COMMAND_ERROR_IS_FATAL ANY)
install(FILES "${PROJECT_BINARY_DIR}/package/changelog.Debian.gz" DESTINATION "${sprig_doc_dir}")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sprig)
set(CPACK_PACKAGE_VENDOR "The Sprig developers")
set(CPACK_PACKAGE_CONTACT "${sprig_maintainer}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "editor and viewer for L-systems")
# Lines of at most 72 characters, as Debian's descriptions keep them.
set(CPACK_PACKAGE_DESCRIPTION
    "Sprig rewrites an axiom with a few rules, a given number of times, and\n"
    "draws the result with a three-dimensional turtle: space-filling curves,\n"
    "branching plants, tilings and fractals. Documents (.lsd) hold the axiom,\n"
    "the rules, the turning angle, the number of passes and two colours.\n"
    "Figures export as PNG, SVG and TIFF pictures, as animated GIFs and as\n"
    "3D models (OBJ, PLY). sprig-render does the same without a display, and\n"
    "makes the file manager's previews of documents.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${SPRIG_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# EGL draws without a display through Mesa's software renderer, which no library links.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgl1-mesa-dri")
include(CPack)
