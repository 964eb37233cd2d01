# Installed layout (any prefix, /usr/local by default; /usr in the package):
#   <prefix>/lib/velmora3dencoder/{bin,tools/linux,res}   the program's own tree, as in the build tree
#   <prefix>/bin/velmora3dencoder                         relative symbolic link to the program, which
#                                                         finds its tree through its real path
#   <prefix>/share/{applications,icons,mime,thumbnailers,doc}  desktop integration
set(VELMORA_INSTALL_TREE lib/velmora3dencoder)
# cpack and "make install" install what is built; scripts/package.sh builds
# only the programs, not every test and benchmark.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)
set(VELMORA_DESKTOP_ID com.velmora.Velmora3dEncoder)
set(VELMORA_DESKTOP_DIR ${CMAKE_SOURCE_DIR}/desktop)

install(TARGETS Velmora3dEncoder RUNTIME DESTINATION ${VELMORA_INSTALL_TREE}/bin)
install(TARGETS model-encoder RUNTIME DESTINATION ${VELMORA_INSTALL_TREE}/tools/linux)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/res/ DESTINATION ${VELMORA_INSTALL_TREE}/res
  PATTERN CMakeLists.txt EXCLUDE)

# Relative, so the link works wherever the prefix is unpacked (a staging root, dpkg-deb -x).
set(link ${CMAKE_BINARY_DIR}/install-links/velmora3dencoder)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/install-links)
file(CREATE_LINK ../${VELMORA_INSTALL_TREE}/bin/Velmora3dEncoder ${link} SYMBOLIC)
install(FILES ${link} DESTINATION bin)

install(FILES ${VELMORA_DESKTOP_DIR}/${VELMORA_DESKTOP_ID}.desktop DESTINATION share/applications)
install(FILES ${VELMORA_DESKTOP_DIR}/${VELMORA_DESKTOP_ID}.xml DESTINATION share/mime/packages)
install(FILES ${VELMORA_DESKTOP_DIR}/${VELMORA_DESKTOP_ID}.thumbnailer DESTINATION share/thumbnailers)
install(FILES ${CMAKE_SOURCE_DIR}/resources/icons/app-icon.svg DESTINATION share/icons/hicolor/scalable/apps
  RENAME ${VELMORA_DESKTOP_ID}.svg)

# Debian wants the changelog compressed, reproducibly (no name or time stamp in the gzip header).
# The package is native (version without a Debian revision), hence changelog.gz.
set(changelog ${CMAKE_BINARY_DIR}/install-links/changelog.gz)
add_custom_command(OUTPUT ${changelog}
  COMMAND gzip -9 -n -c ${VELMORA_DESKTOP_DIR}/changelog > ${changelog}
  DEPENDS ${VELMORA_DESKTOP_DIR}/changelog VERBATIM)
add_custom_target(velmora_changelog ALL DEPENDS ${changelog})
install(FILES ${VELMORA_DESKTOP_DIR}/copyright ${changelog} DESTINATION share/doc/velmora3dencoder)

# scripts/package.sh: cpack -G DEB. Dependencies come from the libraries the programs really link.
set(CPACK_PACKAGE_NAME velmora3dencoder)
set(CPACK_PACKAGE_VENDOR "Velmora GmbH")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "converts 3D models into vm3 files and shows them")
set(CPACK_PACKAGE_DESCRIPTION "Velmora 3D Encoder turns 3D models (FBX, glTF 2.0, OBJ, Collada, PLY, STL\n\
and 3DS) into vm3 files and lets you inspect them on the way: a 3D viewport,\n\
scene tree, material and light inspector, animations and the converter's\n\
warnings and errors. It also converts without a window (--convert) and gives\n\
file managers previews of vm3 files.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Velmora GmbH <packages@velmora.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The SVG icons need Qt's SVG plugin, which nothing links directly.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt5svg5")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${VELMORA_WEB_HOST})
include(CPack)
