# What is worked out while installing rather than while configuring: the prefix given to
# `cmake --install --prefix` or chosen by CPack is only known then, and installed files that name a
# program (bus service files, user units) must name it where it ends up. The install scripts that
# TalvoriInstall.cmake writes include this file; CMAKE_INSTALL_PREFIX is then the prefix of the
# installation, and DESTDIR, when set, the staging directory file(INSTALL) puts it below.

# talvori_installed_path(OUT DIR): DIR below the prefix, or DIR itself when it is absolute.
function(talvori_installed_path out dir)
  if(IS_ABSOLUTE "${dir}")
    set(${out} "${dir}" PARENT_SCOPE)
  else()
    set(${out} "${CMAKE_INSTALL_PREFIX}/${dir}" PARENT_SCOPE)
  endif()
endfunction()

# talvori_installed_sysconfdir(OUT DIR): the configuration directory as GNUInstallDirs defines it
# for this prefix: /etc for the prefixes / and /usr, /etc/opt/<name> for /opt/<name>, else below
# the prefix.
function(talvori_installed_sysconfdir out dir)
  if(IS_ABSOLUTE "${dir}")
    set(result "${dir}")
  elseif(CMAKE_INSTALL_PREFIX MATCHES "^/(usr/?)?$")
    set(result "/${dir}")
  elseif(CMAKE_INSTALL_PREFIX MATCHES "^/opt/")
    set(result "/${dir}${CMAKE_INSTALL_PREFIX}")
  else()
    set(result "${CMAKE_INSTALL_PREFIX}/${dir}")
  endif()
  set(${out} "${result}" PARENT_SCOPE)
endfunction()

# talvori_install_config_file(SOURCE SYSCONFDIR): into <configuration directory>/xdg/talvori.
function(talvori_install_config_file source sysconfdir)
  talvori_installed_sysconfdir(dir "${sysconfdir}")
  file(INSTALL DESTINATION "${dir}/xdg/talvori" TYPE FILE FILES "${source}")
endfunction()

# talvori_install_user_service_files(PROGRAM_FILE BUS_NAME UNIT DESCRIPTION BINDIR DATADIR
#                                    TEMPLATES WORK_DIR)
# <datadir>/dbus-1/services/<BUS_NAME>.service and lib/systemd/user/<UNIT>, made from the
# templates in TEMPLATES in a directory of WORK_DIR of this installation's own (installations
# into different places may run at once: a test beside CPack).
function(talvori_install_user_service_files program_file bus_name unit description bindir datadir templates work_dir)
  talvori_installed_path(bindir "${bindir}")
  talvori_installed_path(datadir "${datadir}")
  set(PROGRAM "${bindir}/${program_file}")
  set(BUS_NAME "${bus_name}")
  set(UNIT "${unit}")
  set(DESCRIPTION "${description}")
  string(MD5 installation "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
  set(generated "${work_dir}/${installation}")
  foreach(template dbus.service systemd-user.service)
    file(READ "${templates}/${template}.in" text)
    string(CONFIGURE "${text}" text @ONLY)
    file(WRITE "${generated}/${template}" "${text}")
  endforeach()
  file(INSTALL DESTINATION "${datadir}/dbus-1/services" TYPE FILE
    FILES "${generated}/dbus.service" RENAME "${bus_name}.service")
  file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/lib/systemd/user" TYPE FILE
    FILES "${generated}/systemd-user.service" RENAME "${unit}")
endfunction()
