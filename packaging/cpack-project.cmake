# Read by cpack at packaging time (CPACK_PROJECT_CONFIG_FILE).
if(CPACK_GENERATOR STREQUAL "DEB" AND NOT CPACK_TRELVAN_INSTALL_PREFIX STREQUAL "/usr")
  message(FATAL_ERROR
    "Das Debian-Paket braucht einen Build-Ordner mit -DCMAKE_INSTALL_PREFIX=/usr "
    "(scripts/package-check legt ihn an); dieser installiert nach ${CPACK_TRELVAN_INSTALL_PREFIX}.")
endif()
