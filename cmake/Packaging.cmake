# What `cmake --install` puts where, and the packages `cpack` makes of it
# (scripts/package.sh runs both builds' cpack and the Windows installer).
#
# POSIX: bin/trep, share/man/man1/trep.1.gz, the bash completion in
# share/bash-completion/completions/trep, share/doc/trep/ (the guide
# ReadMe.htm, README.md, copyright, changelog.gz); cpack makes
# trep_VERSION_ARCH.deb for /usr. The installed trep names its guide in
# ../share/doc/trep relative to itself.
# Windows: Trep.exe and ReadMe.htm side by side; cpack makes
# Trep-VERSION-win32.zip of them (Trep-VERSION-win64.zip from the 64-bit
# build). The installers (packaging/windows/trep.nsi) are made from the same
# files.

set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Trep")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "split a file into numbered segments and rebuild it")
set(CPACK_STRIP_FILES ON)
set(CPACK_VERBATIM_VARIABLES ON)

if(WIN32)
  install(TARGETS Trep RUNTIME DESTINATION .)
  install(FILES ${CMAKE_SOURCE_DIR}/ReadMe.htm DESTINATION .)

  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_NAME Trep)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_PACKAGE_FILE_NAME "Trep-${PROJECT_VERSION}-win64")
  else()
    set(CPACK_PACKAGE_FILE_NAME "Trep-${PROJECT_VERSION}-win32")
  endif()
else()
  set(doc share/doc/trep)
  # Debian wants compressed manual pages and changelogs, without a time
  # stamp in the gzip header (-n) so that the package is reproducible.
  set(gzipped)
  foreach(pair "docs/trep.1|trep.1.gz" "packaging/debian/changelog|changelog.gz")
    string(REPLACE "|" ";" pair "${pair}")
    list(GET pair 0 source)
    list(GET pair 1 target)
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${target}
      COMMAND sh -c "gzip -9n -c \"$1\" > \"$2\"" gzip
              ${CMAKE_SOURCE_DIR}/${source} ${CMAKE_BINARY_DIR}/${target}
      DEPENDS ${CMAKE_SOURCE_DIR}/${source}
      VERBATIM)
    list(APPEND gzipped ${CMAKE_BINARY_DIR}/${target})
  endforeach()
  add_custom_target(trep_compressed_docs ALL DEPENDS ${gzipped})

  install(TARGETS trep RUNTIME DESTINATION bin)
  install(FILES ${CMAKE_BINARY_DIR}/trep.1.gz DESTINATION share/man/man1)
  # Where bash-completion loads it from on demand.
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/bash-completion/trep
          DESTINATION share/bash-completion/completions)
  install(FILES
    ${CMAKE_SOURCE_DIR}/ReadMe.htm
    ${CMAKE_SOURCE_DIR}/README.md
    ${CMAKE_SOURCE_DIR}/packaging/debian/copyright
    ${CMAKE_BINARY_DIR}/changelog.gz
    DESTINATION ${doc})

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME trep)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  # Lines of at most 80 characters, as Debian's control files want them.
  string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Trep cuts one file into a numbered series of segment files sized for a\n"
    "medium (mail, removable disks, a size or a count of your own) and rebuilds\n"
    "the original from any segment of the series, byte for byte, with its name,\n"
    "times and attributes, checked against the checksum recorded at the split\n"
    "(a quick sum over about a quarter of the file; recovery files check every\n"
    "byte and mend lost or damaged segments).\n"
    "\n"
    "It reads and writes the same files as Trep.exe, its Windows counterpart:\n"
    "segments with a header, or without one together with a batch file that\n"
    "rebuilds the original with the Windows command interpreter alone.")
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # trep_VERSION_ARCH.deb
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER
    "Seed 0015f607 maintainers <maintainers@users.noreply.c-seed-0015f607.example>")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()

include(CPack)
