# The release: `cmake --install` lays out the program, its help viewer and
# help file, the README and the licence in one folder; CPack makes of it a
# portable zip and an installer (NSIS, template in cmake/packaging/).
install(TARGETS movix32 RUNTIME DESTINATION .)
install(FILES ${CMAKE_SOURCE_DIR}/res/MOVIX32.HLP ${CMAKE_SOURCE_DIR}/LICENSE.txt DESTINATION .)
# The README for Windows users, not the developers' one.
install(FILES ${CMAKE_SOURCE_DIR}/docs/README.txt DESTINATION .)

set(CPACK_PACKAGE_NAME "Movix32")
set(CPACK_PACKAGE_VENDOR "Kestrelia")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Movix 32 finds and fixes what still names a program's old folder")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VERSION_MAJOR "${MOVIX_VERSION_MAJOR_NUMBER}")
set(CPACK_PACKAGE_VERSION_MINOR "${MOVIX_VERSION_MINOR_NUMBER}")
set(CPACK_PACKAGE_FILE_NAME "Movix32-${PROJECT_VERSION}-win64")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Movix 32")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "Movix 32")
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}/release")
set(CPACK_RESOURCE_FILE_LICENSE "${CMAKE_SOURCE_DIR}/LICENSE.txt")
set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_NSIS_DISPLAY_NAME "Movix 32")
set(CPACK_NSIS_PACKAGE_NAME "Movix 32")
set(CPACK_NSIS_MUI_ICON "${CMAKE_SOURCE_DIR}/res/movix32.ico")
set(CPACK_NSIS_MUI_UNIICON "${CMAKE_SOURCE_DIR}/res/movix32.ico")
set(CPACK_PROJECT_CONFIG_FILE "${CMAKE_SOURCE_DIR}/cmake/packaging/per_generator.cmake")
set(CPACK_MODULE_PATH "${CMAKE_SOURCE_DIR}/cmake/packaging")
include(CPack)
