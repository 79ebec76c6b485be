# The Debian package's documents, made from the sources at build time:
#   man/trekdump.1.gz  the manual page, gzipped without name or time stamp
#   doc/changelog.gz   packaging/changelog, gzipped the same way
#   doc/copyright      the licence in Debian's machine-readable format
# gzip -n keeps two builds' bytes equal; lintian wants both files gzipped.
find_program(GZIP gzip REQUIRED)
# The changelog's first entry names the version being built, so a new version
# cannot ship with the old one's entry.
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog changelog_top LIMIT_COUNT 1)
if(NOT changelog_top MATCHES "^trekdump \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog: the first entry is not version ${PROJECT_VERSION}; add one for it")
endif()
file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/doc)
add_custom_command(OUTPUT man/trekdump.1.gz doc/changelog.gz
  COMMAND ${GZIP} -9nc man/trekdump.1 > man/trekdump.1.gz
  COMMAND ${GZIP} -9nc ${PROJECT_SOURCE_DIR}/packaging/changelog > doc/changelog.gz
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/man/trekdump.1 ${PROJECT_SOURCE_DIR}/packaging/changelog
  WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
  COMMENT "Gzipping the manual page and the changelog")
add_custom_target(debian_docs ALL DEPENDS man/trekdump.1.gz doc/changelog.gz)

# LICENSE's copyright line becomes the Copyright field and its permission text
# the License paragraph: each line indented by a space, an empty line as " .".
file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]+)" _ "${license}")
set(license_holder "${CMAKE_MATCH_1}")
string(FIND "${license}" "Permission" permission_start)
string(SUBSTRING "${license}" ${permission_start} -1 license_text)
string(STRIP "${license_text}" license_text)
string(REPLACE "\n\n" "\n.\n" license_text "${license_text}")
string(REPLACE "\n" "\n " license_text " ${license_text}")
configure_file(${PROJECT_SOURCE_DIR}/packaging/copyright.in doc/copyright @ONLY)
