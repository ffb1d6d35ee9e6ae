# Bus adaptors, generated at build time from the interface descriptions in this folder. Each
# adaptor relays its parent object's slots and signals under the interface's own names. A layer
# calls this from its own CMakeLists for the objects it exports, since generated sources must
# belong to the directory of the target that compiles them.
set(TALVORI_INTERFACES_DIR ${CMAKE_CURRENT_LIST_DIR})

# talvori_add_adaptor(TARGET XML PARENT_HEADER PARENT_CLASS BASENAME CLASS)
function(talvori_add_adaptor target xml header parent_class basename class_name)
  qt6_add_dbus_adaptor(generated ${TALVORI_INTERFACES_DIR}/${xml} ${header} ${parent_class} ${basename} ${class_name})
  target_sources(${target} PRIVATE ${generated})
  # The exported object's source includes its adaptor by file name.
  target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR})
endfunction()
