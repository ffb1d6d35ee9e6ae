# Bus adaptors, generated at build time from the interface descriptions in this folder. Each
# adaptor relays its parent object's slots and signals under the interface's own names.
# Included from the library's own CMakeLists, since generated sources must belong to the
# directory of the target that compiles them.
set(TALVORI_INTERFACES_DIR ${CMAKE_CURRENT_LIST_DIR})

function(talvori_add_adaptor xml header parent_class basename class_name)
  qt6_add_dbus_adaptor(generated ${TALVORI_INTERFACES_DIR}/${xml} ${header} ${parent_class} ${basename} ${class_name})
  target_sources(talvoriprivate PRIVATE ${generated})
endfunction()

talvori_add_adaptor(org.freedesktop.Talvori.Server.xml connection/talvoriserver.h TalvoriServer serveradaptor ServerAdaptor)
talvori_add_adaptor(org.freedesktop.Talvori.NotificationManager.xml services/notificationmanager.h NotificationManager
  notificationmanageradaptor NotificationManagerAdaptor)
talvori_add_adaptor(org.freedesktop.Talvori.ResourceManager.xml services/resourcemanager.h ResourceManager
  resourcemanageradaptor ResourceManagerAdaptor)
