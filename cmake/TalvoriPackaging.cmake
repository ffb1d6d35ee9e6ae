# The Debian package of everything the components install:
#
#   cpack -G DEB --config <build>/CPackConfig.cmake [-B output directory]
#
# The package installs below /usr, with the configuration templates in /etc/xdg/talvori as
# configuration files of the package, however the tree itself was configured. Its dependencies are
# those of the installed binaries (dpkg-shlibdeps) plus what the server starts or loads at run time.
set(CPACK_PACKAGE_NAME talvori)
set(CPACK_PACKAGE_VENDOR "Talvori developers")
set(CPACK_PACKAGE_CONTACT "Talvori developers <talvori@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "personal information storage server and desktop libraries")
set(CPACK_PACKAGE_DESCRIPTION "The Talvori desktop suite: talvoriserver, a storage server for
personal information that clients and agents reach over a local socket and
the session bus, with its database back-ends; the grixlib graph library with
its file and tool plug-ins and the grix-run program; the mondri map library
with its render plug-ins and mondri-render; and the headers and the CMake
package (find_package(Talvori)) for programs built on them.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
# The install scripts then see /usr as their prefix (the staging directory is DESTDIR), so the
# configuration templates go to /etc and the bus service file names /usr/bin/talvoriserver.
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
# The server needs a session bus, and the MySQL driver for its default database; it starts a
# private MariaDB server unless configured for another database.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "default-dbus-session-bus | dbus-session-bus, libqt6sql6-mysql")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "mariadb-server")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libqt6sql6-psql, libqt6sql6-sqlite, postgresql")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# Control files: the configuration templates as the package's configuration files, and the
# loader cache refreshed for the libraries it puts into /usr/lib.
set(control ${CMAKE_BINARY_DIR}/debian-control)
include(${TALVORI_INSTALL_TIME_SCRIPT})
function(talvori_write_conffiles file)
  set(CMAKE_INSTALL_PREFIX ${CPACK_PACKAGING_INSTALL_PREFIX})
  talvori_installed_sysconfdir(sysconfdir "${CMAKE_INSTALL_SYSCONFDIR}")
  get_property(configs GLOBAL PROPERTY TALVORI_CONFIG_FILES)
  list(TRANSFORM configs PREPEND "${sysconfdir}/")
  list(JOIN configs "\n" text)
  file(WRITE ${file} "${text}\n")
endfunction()
file(WRITE ${control}/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${control}/triggers)
get_property(configs GLOBAL PROPERTY TALVORI_CONFIG_FILES)
if(configs)
  talvori_write_conffiles(${control}/conffiles)
  list(APPEND CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${control}/conffiles)
endif()

# What Debian asks of every package: its copyright notice and its change log, compressed.
string(TIMESTAMP TALVORI_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${TALVORI_INSTALL_TEMPLATES}/changelog.in ${control}/changelog @ONLY)
execute_process(COMMAND gzip -9nf ${control}/changelog RESULT_VARIABLE gzipped)
if(NOT gzipped EQUAL 0)
  message(FATAL_ERROR "gzip failed on ${control}/changelog")
endif()
install(FILES ${TALVORI_INSTALL_TEMPLATES}/copyright ${control}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_PACKAGE_NAME})

include(CPack)
