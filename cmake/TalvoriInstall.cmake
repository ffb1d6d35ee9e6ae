# Install rules. A component's CMakeLists says what it installs with one call per target or file:
#
#   talvori_install_program(talvoriserver)                  programs, into bin
#   talvori_install_plugin(grix_graphml)                    plug-ins, into lib/talvori/plugins
#   talvori_install_library(grixlib EXPORT_NAME Grix HEADER_DIRS Core Plugins INCLUDE_SUBDIR grix)
#                                                           shared or static libraries, their headers,
#                                                           and with EXPORT_NAME an imported target
#                                                           Talvori::<name> for find_package(Talvori)
#   talvori_install_config(config/mysql-global.conf)        configuration templates, into
#                                                           <sysconfdir>/xdg/talvori
#   talvori_install_user_service(PROGRAM talvoriserver BUS_NAME org.freedesktop.Talvori ...)
#                                                           a bus service file and a systemd user unit
#
# Installed programs, libraries and plug-ins find each other relative to themselves ($ORIGIN), so
# an installed tree works wherever it is put (`cmake --install build --prefix DIR`). The build tree
# is laid out like an installed one where programs look beside themselves: <build>/bin, <build>/lib,
# <build>/plugins and <build>/etc/xdg.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(TALVORI_INSTALL_PLUGINDIR ${CMAKE_INSTALL_LIBDIR}/talvori/plugins)
cmake_path(ABSOLUTE_PATH TALVORI_INSTALL_PLUGINDIR BASE_DIRECTORY ${CMAKE_INSTALL_PREFIX}
  OUTPUT_VARIABLE TALVORI_INSTALL_FULL_PLUGINDIR)
# The plug-in directory as an installed program finds it from its own directory.
file(RELATIVE_PATH TALVORI_PLUGINDIR_FROM_PROGRAM ${CMAKE_INSTALL_FULL_BINDIR} ${TALVORI_INSTALL_FULL_PLUGINDIR})
set(TALVORI_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/talvori)
set(TALVORI_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Talvori)
# The configuration directory as programs find it beside themselves: from <prefix>/bin in an
# installed tree, from <build>/bin in the build tree (see XdgBaseDirs).
set(TALVORI_XDG_CONFIG_DIR_FROM_PROGRAM ../etc/xdg)
get_filename_component(TALVORI_BUILD_XDG_CONFIG_DIR ${TALVORI_XDG_CONFIG_DIR_FROM_PROGRAM} ABSOLUTE
  BASE_DIR ${CMAKE_BINARY_DIR}/bin)
set(TALVORI_INSTALL_TIME_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/TalvoriInstallTime.cmake)
set(TALVORI_INSTALL_TEMPLATES ${CMAKE_CURRENT_LIST_DIR}/install)

# The run-time search path from an installed directory to the library directory.
function(talvori_rpath_from out dir)
  cmake_path(ABSOLUTE_PATH dir BASE_DIRECTORY ${CMAKE_INSTALL_PREFIX})
  file(RELATIVE_PATH relative ${dir} ${CMAKE_INSTALL_FULL_LIBDIR})
  if(relative STREQUAL "")
    set(${out} "$ORIGIN" PARENT_SCOPE)
  else()
    string(REGEX REPLACE "/$" "" relative "${relative}")
    set(${out} "$ORIGIN/${relative}" PARENT_SCOPE)
  endif()
endfunction()

# Installs targets of one kind (RUNTIME, LIBRARY) into destination, where they find the libraries
# relative to themselves.
function(talvori_install_targets kind destination)
  talvori_rpath_from(rpath ${destination})
  foreach(target ${ARGN})
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "${rpath}")
    install(TARGETS ${target} ${kind} DESTINATION ${destination})
  endforeach()
endfunction()

# talvori_install_program(TARGETS...)
function(talvori_install_program)
  talvori_install_targets(RUNTIME ${CMAKE_INSTALL_BINDIR} ${ARGN})
endfunction()

# talvori_install_plugin(TARGETS...): the loaders look in <program dir>/../plugins (the build
# tree) and then here, relative to the program (TALVORI_PLUGINDIR_FROM_PROGRAM).
function(talvori_install_plugin)
  talvori_install_targets(LIBRARY ${TALVORI_INSTALL_PLUGINDIR} ${ARGN})
endfunction()

# talvori_install_library(TARGET [EXPORT_NAME name] [HEADER_DIRS dirs...] [INCLUDE_SUBDIR dir])
# A shared library gets the project's version as its own, with the major version as the ABI
# number. With EXPORT_NAME the library is an imported target Talvori::<name> of the installed
# package (and an alias of that name in the tree): every library it links publicly must be
# exported too. The headers of HEADER_DIRS (relative to the current source directory, not
# recursive) go to include/talvori/<INCLUDE_SUBDIR>, which is the installed target's include
# directory, so a client includes them as it does in the tree. The target's own include
# directories must be given as $<BUILD_INTERFACE:...>.
function(talvori_install_library target)
  cmake_parse_arguments(L "" "EXPORT_NAME;INCLUDE_SUBDIR" "HEADER_DIRS" ${ARGN})
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "SHARED_LIBRARY")
    set_target_properties(${target} PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR}
      INSTALL_RPATH "$ORIGIN")
    # A library names the C library it runs on even when it calls none of its functions itself,
    # which the linker's --as-needed would otherwise leave out (Debian requires the entry).
    target_link_options(${target} PRIVATE "LINKER:--push-state,--no-as-needed,-lc,--pop-state")
  endif()
  set(export)
  if(L_EXPORT_NAME)
    set(export EXPORT TalvoriTargets)
    set_target_properties(${target} PROPERTIES EXPORT_NAME ${L_EXPORT_NAME})
    add_library(Talvori::${L_EXPORT_NAME} ALIAS ${target})
    set_property(GLOBAL APPEND PROPERTY TALVORI_EXPORTED_TARGETS ${target})
  endif()
  install(TARGETS ${target} ${export}
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
  if(L_HEADER_DIRS)
    set(headers)
    foreach(dir ${L_HEADER_DIRS})
      file(GLOB found CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.h)
      list(APPEND headers ${found})
    endforeach()
    set(destination ${TALVORI_INSTALL_INCLUDEDIR}/${L_INCLUDE_SUBDIR})
    install(FILES ${headers} DESTINATION ${destination})
    target_include_directories(${target} INTERFACE $<INSTALL_INTERFACE:${destination}>)
  endif()
endfunction()

# talvori_install_config(FILES...): templates the programs find through the configuration search
# path (see XdgBaseDirs): <sysconfdir>/xdg/talvori when installed (/etc/xdg/talvori for the prefix
# /usr), <build>/etc/xdg/talvori in the build tree.
function(talvori_install_config)
  foreach(file ${ARGN})
    get_filename_component(name ${file} NAME)
    get_filename_component(source ${file} ABSOLUTE)
    configure_file(${source} ${TALVORI_BUILD_XDG_CONFIG_DIR}/talvori/${name} COPYONLY)
    install(CODE "include(\"${TALVORI_INSTALL_TIME_SCRIPT}\")
      talvori_install_config_file(\"${source}\" \"${CMAKE_INSTALL_SYSCONFDIR}\")")
    set_property(GLOBAL APPEND PROPERTY TALVORI_CONFIG_FILES xdg/talvori/${name})
  endforeach()
endfunction()

# talvori_install_user_service(PROGRAM target BUS_NAME name DESCRIPTION text)
# A bus service file, so that the first call to BUS_NAME on the session bus starts the program,
# and a systemd user unit <program>.service the bus hands the start to where systemd runs the
# user's session. Both name the program where it is installed.
function(talvori_install_user_service)
  cmake_parse_arguments(S "" "PROGRAM;BUS_NAME;DESCRIPTION" "" ${ARGN})
  install(CODE "include(\"${TALVORI_INSTALL_TIME_SCRIPT}\")
    talvori_install_user_service_files(\"$<TARGET_FILE_NAME:${S_PROGRAM}>\" \"${S_BUS_NAME}\" \"${S_PROGRAM}.service\"
      \"${S_DESCRIPTION}\" \"${CMAKE_INSTALL_BINDIR}\" \"${CMAKE_INSTALL_DATADIR}\" \"${TALVORI_INSTALL_TEMPLATES}\"
      \"${CMAKE_CURRENT_BINARY_DIR}/installed-services\")")
endfunction()

# talvori_install_package_config(): the CMake package of everything installed with EXPORT_NAME,
# with the Qt modules those targets link. Called once, after every component is added.
function(talvori_install_package_config)
  get_property(targets GLOBAL PROPERTY TALVORI_EXPORTED_TARGETS)
  if(NOT targets)
    return()
  endif()
  set(qt_components)
  set(names)
  foreach(target ${targets})
    get_target_property(links ${target} INTERFACE_LINK_LIBRARIES)
    foreach(link ${links})
      if(link MATCHES "^Qt6::(.+)$")
        list(APPEND qt_components ${CMAKE_MATCH_1})
      endif()
    endforeach()
    get_target_property(name ${target} EXPORT_NAME)
    list(APPEND names ${name})
  endforeach()
  list(JOIN names " " TALVORI_EXPORTED_NAMES)
  list(TRANSFORM names PREPEND "Talvori::")
  list(JOIN names " " TALVORI_EXPORTED_TARGETS_TEXT)
  list(REMOVE_DUPLICATES qt_components)
  list(JOIN qt_components " " TALVORI_QT_COMPONENTS)
  set(TALVORI_QT_VERSION ${Qt6_VERSION})

  install(EXPORT TalvoriTargets NAMESPACE Talvori:: DESTINATION ${TALVORI_INSTALL_CMAKEDIR})
  configure_package_config_file(${TALVORI_INSTALL_TEMPLATES}/TalvoriConfig.cmake.in
    ${CMAKE_BINARY_DIR}/TalvoriConfig.cmake INSTALL_DESTINATION ${TALVORI_INSTALL_CMAKEDIR})
  write_basic_package_version_file(${CMAKE_BINARY_DIR}/TalvoriConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
  install(FILES ${CMAKE_BINARY_DIR}/TalvoriConfig.cmake ${CMAKE_BINARY_DIR}/TalvoriConfigVersion.cmake
    DESTINATION ${TALVORI_INSTALL_CMAKEDIR})
endfunction()
