# cmake --install: the programs, their data, manual pages and the desktop
# entry, laid out as a Debian package would lay them out under the prefix.
install(TARGETS zelmora-render RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES zelmora.orc DESTINATION ${ZELMORA_DATA_DIR})
install(TARGETS zelmora_grains LIBRARY DESTINATION ${ZELMORA_PLUGIN_DIR})
install(DIRECTORY examples/ DESTINATION ${ZELMORA_DATA_DIR}/examples)

set(manual_pages zelmora-render.1)
if(TARGET zelmora)
  install(TARGETS zelmora RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  list(APPEND manual_pages zelmora.1)
  install(FILES desktop/zelmora.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  foreach(size 48 192)
    install(FILES desktop/zelmora-${size}.png RENAME zelmora.png
      DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
endif()

# The pages carry the version; everything else in them is written by hand.
foreach(page ${manual_pages})
  configure_file(man/${page}.in ${CMAKE_BINARY_DIR}/man/${page} @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/man/${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
