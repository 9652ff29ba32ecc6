# cmake --install: the plug-in where Linux hosts look for VST 2.4 plug-ins,
# the programs beside the system's own. Default prefix /usr/local.
#   <prefix>/lib/vst/Quelmar.so
#   <prefix>/lib/clap/Quelmar.clap
#   <prefix>/lib/lv2/quelmar.lv2/ (the bundle: its Turtle, plug-in and UI)
#   <prefix>/bin/quelmar-render, <prefix>/bin/quelmar-snapshot
#   <prefix>/share/quelmar/quelmar-example.ogg (quelmar-render's example)
# Components: "plugin" (the plug-in alone) and "tools".
# Every install leaves build/install_manifest.txt; the uninstall target
# removes what it lists.
set(QUELMAR_INSTALL_VSTDIR "lib/vst" CACHE STRING "Where the plug-in is installed: relative to the prefix, or absolute")
set(QUELMAR_INSTALL_DATADIR "share/quelmar")

install(TARGETS Quelmar LIBRARY DESTINATION ${QUELMAR_INSTALL_VSTDIR} COMPONENT plugin)
set(QUELMAR_INSTALL_CLAPDIR "lib/clap" CACHE STRING "Where the CLAP plug-in is installed: relative to the prefix, or absolute")
install(TARGETS QuelmarClap LIBRARY DESTINATION ${QUELMAR_INSTALL_CLAPDIR} COMPONENT plugin)
if(TARGET QuelmarLv2)
  set(QUELMAR_INSTALL_LV2DIR "lib/lv2" CACHE STRING "Where the LV2 bundle is installed: relative to the prefix, or absolute")
  set(lv2_modules QuelmarLv2)
  if(TARGET QuelmarLv2Ui)
    list(APPEND lv2_modules QuelmarLv2Ui)
  endif()
  install(TARGETS ${lv2_modules} LIBRARY DESTINATION ${QUELMAR_INSTALL_LV2DIR}/quelmar.lv2 COMPONENT plugin)
  install(FILES ${PROJECT_BINARY_DIR}/lv2/quelmar.lv2/manifest.ttl ${PROJECT_BINARY_DIR}/lv2/quelmar.lv2/quelmar.ttl
          DESTINATION ${QUELMAR_INSTALL_LV2DIR}/quelmar.lv2 COMPONENT plugin)
endif()
install(TARGETS quelmar-render RUNTIME DESTINATION bin COMPONENT tools)
if(TARGET quelmar-snapshot)
  install(TARGETS quelmar-snapshot RUNTIME DESTINATION bin COMPONENT tools)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/examples/quelmar-example.ogg DESTINATION ${QUELMAR_INSTALL_DATADIR}
        COMPONENT tools)

# Installed, quelmar-render finds its plug-in and example from its own place.
if(IS_ABSOLUTE "${QUELMAR_INSTALL_VSTDIR}")
  set(installed_plugin "${QUELMAR_INSTALL_VSTDIR}/Quelmar.so")
else()
  set(installed_plugin "../${QUELMAR_INSTALL_VSTDIR}/Quelmar.so")
endif()
target_compile_definitions(quelmar-render PRIVATE QUELMAR_INSTALLED_PLUGIN="${installed_plugin}"
                           QUELMAR_INSTALLED_EXAMPLE="../${QUELMAR_INSTALL_DATADIR}/quelmar-example.ogg")

add_custom_target(uninstall
  COMMAND ${CMAKE_COMMAND} -DMANIFEST=${PROJECT_BINARY_DIR}/install_manifest.txt
          -P ${CMAKE_CURRENT_LIST_DIR}/Uninstall.cmake
  COMMENT "Removing the files the last cmake --install put in place")
