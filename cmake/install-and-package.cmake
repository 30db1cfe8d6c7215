# Installing (`make install`, `cmake --install`) and the Debian package (`make package`, CPack):
# the program and its manual page, nothing else. The package adds the copyright file Debian
# asks for. Linux only; the Windows program has its own zip (scripts/package-windows).
include(GNUInstallDirs)

# Debian wants manual pages compressed with gzip -9n: -n leaves the name and time out, so the
# same page always gives the same file.
find_program(GZIP_PROGRAM gzip REQUIRED)
# The page names the project's version, filled in here.
set(DOLVANE_MAN_PAGE ${CMAKE_CURRENT_BINARY_DIR}/dolvane.1)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/doc/dolvane.1.in ${DOLVANE_MAN_PAGE} @ONLY)
set(DOLVANE_MAN_PAGE_GZ ${CMAKE_CURRENT_BINARY_DIR}/dolvane.1.gz)
add_custom_command(OUTPUT ${DOLVANE_MAN_PAGE_GZ}
  COMMAND ${GZIP_PROGRAM} -9 -n -c ${DOLVANE_MAN_PAGE} > ${DOLVANE_MAN_PAGE_GZ}
  DEPENDS ${DOLVANE_MAN_PAGE}
  COMMENT "Compressing the manual page")
add_custom_target(dolvane_man ALL DEPENDS ${DOLVANE_MAN_PAGE_GZ})

install(TARGETS dolvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Stripped (`make install`, the package), the program also loses the compilers' names (.comment)
# and any bare .note section, as Debian's own packages do: nothing reads them at run time.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:dolvane>\"
      COMMAND_ERROR_IS_FATAL ANY)
  endif()")
install(FILES ${DOLVANE_MAN_PAGE_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The copyright file belongs in the package only: an install rule would put it into every
# `make install` too. CPack copies this folder's contents into the package as they are.
set(DOLVANE_PACKAGE_DOC ${CMAKE_CURRENT_BINARY_DIR}/package-doc)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/doc/copyright ${DOLVANE_PACKAGE_DOC}/copyright COPYONLY)
# lintian's overrides for the package, where lintian looks for them; the same for this folder.
set(DOLVANE_PACKAGE_OVERRIDES ${CMAKE_CURRENT_BINARY_DIR}/package-overrides)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/doc/dolvane.lintian-overrides
  ${DOLVANE_PACKAGE_OVERRIDES}/dolvane COPYONLY)

set(DOLVANE_MAINTAINER "Morvick <dolvane@morvick.example>" CACHE STRING
  "Maintainer named in the Debian package")

# The package is revision 1 of packaging the project's version (1.0.0-1): a package whose
# version has no revision counts as made for Debian itself, and its changelog would have
# another name.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(DOLVANE_DEBIAN_VERSION ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})

# The package's changelog, which Debian asks for: one entry for that version, gzipped -9n like
# the manual page. Its date is that of the source, so the same source always gives the same
# file: SOURCE_DATE_EPOCH when set, else the time of the last commit, else (a source tree
# without git) the time CMakeLists.txt, which holds the version, was last changed.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  string(TIMESTAMP DOLVANE_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
else()
  find_package(Git QUIET)
  if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
      WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
      OUTPUT_VARIABLE source_date OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  endif()
  if(NOT source_date MATCHES "^[0-9]+$")
    file(TIMESTAMP ${PROJECT_SOURCE_DIR}/CMakeLists.txt source_date "%s" UTC)
  endif()
  # string(TIMESTAMP) formats no other time than now or SOURCE_DATE_EPOCH.
  set(ENV{SOURCE_DATE_EPOCH} ${source_date})
  string(TIMESTAMP DOLVANE_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
  unset(ENV{SOURCE_DATE_EPOCH})
endif()
set(DOLVANE_CHANGELOG ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian)
# Written only when it changes, so the gzipped copy is remade only then.
file(CONFIGURE OUTPUT ${DOLVANE_CHANGELOG} CONTENT [=[
dolvane (${DOLVANE_DEBIAN_VERSION}) unstable; urgency=medium

  * Dolvane ${PROJECT_VERSION}.

 -- ${DOLVANE_MAINTAINER}  ${DOLVANE_CHANGELOG_DATE}
]=])
add_custom_command(OUTPUT ${DOLVANE_PACKAGE_DOC}/changelog.Debian.gz
  COMMAND ${GZIP_PROGRAM} -9 -n -c ${DOLVANE_CHANGELOG} > ${DOLVANE_PACKAGE_DOC}/changelog.Debian.gz
  DEPENDS ${DOLVANE_CHANGELOG}
  COMMENT "Compressing the package's changelog")
add_custom_target(dolvane_changelog ALL DEPENDS ${DOLVANE_PACKAGE_DOC}/changelog.Debian.gz)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dolvane)
set(CPACK_PACKAGE_VENDOR Morvick)
set(CPACK_PACKAGE_CONTACT "${DOLVANE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "cut JPEG, BMP and PNG pictures into two pieces or a grid of tiles")
set(CPACK_PACKAGE_DESCRIPTION [=[
Dolvane is a small command-line picture cutter. It cuts a left or top
piece of a given width or height off a JPEG, BMP or PNG picture, in
pixels, percent, inches, centimetres or millimetres, and writes the piece
and the rest to files of their own, or it cuts the picture into the equal
tiles of a grid. Each file's format follows its name, so a piece may be
written in another format.
.
Every piece is written to a temporary file first and replaces an existing
file only once complete. Pieces keep the colour profile of the picture,
and JPEG pieces its EXIF data.]=])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Unlike install rules, this destination counts from the package's root, not from the prefix.
set(CPACK_INSTALLED_DIRECTORIES "${DOLVANE_PACKAGE_DOC};usr/share/doc/dolvane"
  "${DOLVANE_PACKAGE_OVERRIDES};usr/share/lintian/overrides")
# Debian's tools complain about symbols left in packaged programs.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${DOLVANE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps names the packages of the shared libraries the program links (the codecs,
# the C and C++ runtimes) as the distribution calls them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
