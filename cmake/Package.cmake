# Debian packages through CPack (`make deb`): "waterline" holds the application, the
# tools, their pictures, manual pages and desktop files, with its dependencies computed
# from the binaries by dpkg-shlibdeps; "waterline-dev" holds the libraries for other
# projects.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME waterline)
set(CPACK_PACKAGE_VENDOR "The Waterline developers")
set(CPACK_PACKAGE_CONTACT "The Waterline developers <waterline@example.com>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "photo effect with an animated water reflection")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime development)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://example.com/waterline)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME waterline)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION graphics)
# Beside the shared libraries: the font the screen draws its texts with, and the desktop
# helpers that open links and mail.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "fonts-dejavu-core, xdg-utils")
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
    "photo effect with an animated water reflection
 Waterline shows a photo or camera picture above an animated water reflection,
 and carries small command-line tools for HTTP, JSON, Base64, reachability and rendering.
 .
 Licence: MIT.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME waterline-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS
    "pkg-config, libturbojpeg0-dev, libjpeg62-turbo-dev, libpng-dev, libexif-dev, libcurl4-openssl-dev, zlib1g-dev, libpsl-dev, libssl-dev, duktape-dev, libsecret-1-dev")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION
    "Waterline libraries for C++ programs
 Static libraries, headers, CMake package and pkg-config files of the Waterline
 libraries: foundation, JSON, Base64, images, settings, reachability and HTTP.
 .
 Licence: MIT.")

include(CPack)
