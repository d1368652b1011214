# The Debian package: `make package` (cpack -G DEB in the build folder) makes
# irc-quillmere_<version>_<arch>.deb, whose dependencies dpkg-shlibdeps reads
# off the program's libraries.
include(GNUInstallDirs)

# The AppStream id and the page that shows the screenshot; placeholders until
# the program has a public home.
set(QUILL_APP_ID "example.quillmere.IrcQuillmere" CACHE STRING "AppStream component id")
set(QUILL_HOMEPAGE "https://quillmere.example" CACHE STRING "Home page, with screenshot.png beside it")
set(QUILL_MAINTAINER "IRC Quillmere developers <quillmere@users.noreply.quillmere.example>"
    CACHE STRING "Package maintainer")

configure_file(${CMAKE_SOURCE_DIR}/package/irc-quillmere.metainfo.xml
               ${CMAKE_BINARY_DIR}/package/${QUILL_APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/package/${QUILL_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Debian wants the changelog compressed without a time stamp in it.
execute_process(COMMAND gzip -9nc ${CMAKE_SOURCE_DIR}/package/changelog
                OUTPUT_FILE ${CMAKE_BINARY_DIR}/package/changelog.gz)
install(FILES ${CMAKE_SOURCE_DIR}/package/copyright ${CMAKE_BINARY_DIR}/package/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/irc-quillmere)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME irc-quillmere)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "relay for IRC clients through a rotating pool of proxies")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUILL_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${QUILL_HOMEPAGE}")
# The summary above is the first line; this is the rest.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "IRC Quillmere sits in the notification area and listens on TCP port 7300.
Every connection an IRC client opens to it is relayed byte for byte to the
current upstream proxy, chosen from lists imported from text files. Each
connection judges its proxy: working after 30 seconds, failed sooner, and a
failed proxy is replaced by a random other one.")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Only a Wayland session without Xwayland needs Qt's Wayland plugin.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS qt6-wayland)
include(CPack)
