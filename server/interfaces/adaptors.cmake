# Bus adaptors, generated at build time from the interface descriptions in this folder. Each
# adaptor relays its parent object's slots and signals under the interface's own names. A layer
# calls this from its own CMakeLists for the objects it exports, since generated sources must
# belong to the directory of the target that compiles them.
# Cached, so that the agents and the test peers beside server/ generate from the same descriptions.
set(TALVORI_INTERFACES_DIR ${CMAKE_CURRENT_LIST_DIR} CACHE INTERNAL "The bus interface descriptions")

# talvori_add_adaptor(TARGET XML PARENT_HEADER PARENT_CLASS BASENAME CLASS)
function(talvori_add_adaptor target xml header parent_class basename class_name)
  qt6_add_dbus_adaptor(generated ${TALVORI_INTERFACES_DIR}/${xml} ${header} ${parent_class} ${basename} ${class_name})
  target_sources(${target} PRIVATE ${generated})
  # The exported object's source includes its adaptor by file name.
  target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR})
endfunction()

# talvori_add_proxy(LAYER XML BASENAME [INCLUDE header])
# A proxy class for a peer the layer calls, generated from the peer's interface description into
# the layer's generated headers, so that it is included as "<layer>/<basename>.h". The class is
# named after the interface, as the generator names it ("org.freedesktop.Talvori.Resource" gives
# OrgFreedesktopTalvoriResourceInterface).
function(talvori_add_proxy layer xml basename)
  cmake_parse_arguments(P "" "INCLUDE" "" ${ARGN})
  talvori_layer_generated_dir(${layer} dir)
  set(header ${dir}/${basename}.h)
  set(source ${dir}/${basename}.cpp)
  set(options -N)
  if(P_INCLUDE)
    list(APPEND options -i ${P_INCLUDE})
  endif()
  add_custom_command(OUTPUT ${header} ${source}
    COMMAND Qt6::qdbusxml2cpp ${options} -p ${header}:${source} ${TALVORI_INTERFACES_DIR}/${xml}
    DEPENDS ${TALVORI_INTERFACES_DIR}/${xml} Qt6::qdbusxml2cpp
    VERBATIM)
  target_sources(talvori_${layer} PRIVATE ${header} ${source})
endfunction()

# Agents and resources generate their own adaptors and proxies from the installed descriptions.
file(GLOB TALVORI_INTERFACE_DESCRIPTIONS CONFIGURE_DEPENDS ${TALVORI_INTERFACES_DIR}/*.xml)
install(FILES ${TALVORI_INTERFACE_DESCRIPTIONS} DESTINATION ${CMAKE_INSTALL_DATADIR}/dbus-1/interfaces)
