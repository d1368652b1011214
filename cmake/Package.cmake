# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The IRC Quillmere developers
# What the program installs besides itself (the AppStream entry, the manual
# page) and the Debian changelog, each made from the version in project() and
# QUILL_RELEASE_DATE. The package itself is built by debian/ (make package).
include(GNUInstallDirs)

# A distributor sets these for the program's public home, e.g.
#   cmake -DQUILL_HOMEPAGE=https://quillmere.example.net -DQUILL_APP_ID=net.example.quillmere
set(QUILL_APP_ID "org.example.irc_quillmere" CACHE STRING "AppStream component id (lower-case reverse DNS)")
set(QUILL_HOMEPAGE "https://irc-quillmere.example.org" CACHE STRING "Home page, with screenshot.png beside it")
set(QUILL_MAINTAINER "The IRC Quillmere developers <quillmere@users.noreply.example.org>"
    CACHE STRING "Package maintainer, as the Debian changelog names them")

# The changelog's date in the form Debian wants (RFC 5322), at noon UTC.
execute_process(COMMAND date -u -R -d "${QUILL_RELEASE_DATE} 12:00:00"
                OUTPUT_VARIABLE QUILL_RELEASE_DATE_RFC OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
# The manual page's date: "December 2026".
execute_process(COMMAND env LC_ALL=C date -u "+%B %Y" -d "${QUILL_RELEASE_DATE}"
                OUTPUT_VARIABLE QUILL_RELEASE_MONTH OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)

# Who made it, in the form of the AppStream the release has: 1.0 (Debian 13)
# wants <developer> and calls <developer_name> deprecated, 0.16 (Debian 12)
# knows only the latter. Without appstreamcli, the current form.
set(QUILL_DEVELOPER_NAME "The IRC Quillmere developers")
find_program(QUILL_APPSTREAMCLI appstreamcli)
set(appstream_version 1.0)
if(QUILL_APPSTREAMCLI)
  execute_process(COMMAND ${QUILL_APPSTREAMCLI} --version OUTPUT_VARIABLE appstream_said ERROR_QUIET)
  string(REGEX MATCH "[0-9]+\\.[0-9]+(\\.[0-9]+)?" appstream_found "${appstream_said}")
  if(appstream_found)
    set(appstream_version ${appstream_found})
  endif()
endif()
if(appstream_version VERSION_LESS 1.0)
  set(QUILL_DEVELOPER "<developer_name>${QUILL_DEVELOPER_NAME}</developer_name>")
else()
  set(QUILL_DEVELOPER "<developer id=\"${QUILL_APP_ID}\">\n    <name>${QUILL_DEVELOPER_NAME}</name>\n  </developer>")
endif()

configure_file(${CMAKE_SOURCE_DIR}/package/irc-quillmere.metainfo.xml
               ${CMAKE_BINARY_DIR}/package/${QUILL_APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/package/${QUILL_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

configure_file(${CMAKE_SOURCE_DIR}/package/irc-quillmere.1 ${CMAKE_BINARY_DIR}/package/irc-quillmere.1 @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/package/irc-quillmere.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# debian/changelog of the package that `make package` builds.
configure_file(${CMAKE_SOURCE_DIR}/package/changelog ${CMAKE_BINARY_DIR}/package/changelog @ONLY)
