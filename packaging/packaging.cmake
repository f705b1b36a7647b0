# What an installation holds, and the Debian package made of it. Programs are installed when their targets exist,
# so a program added to the build joins the package by having a rule here.
include(GNUInstallDirs)

set(MOX_APP_ID io.github.moxsim)
set(MOX_MAINTAINER "moxsim developers <moxsim@users.noreply.github.com>")

foreach(program moxsim moxsim-script moxsim-plan)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

# Man pages go in compressed, as Debian policy asks; gzip -n keeps the package reproducible.
set(MOX_MAN_PAGES moxsim.6 moxsim-script.6 moxsim-plan.6)
foreach(page ${MOX_MAN_PAGES})
  string(REGEX REPLACE "\\.6$" "" program ${page})
  if(TARGET ${program} AND EXISTS ${CMAKE_CURRENT_LIST_DIR}/${page})
    set(gz ${CMAKE_BINARY_DIR}/packaging/${page}.gz)
    add_custom_command(OUTPUT ${gz}
      COMMAND gzip -9n -c ${CMAKE_CURRENT_LIST_DIR}/${page} > ${gz}
      DEPENDS ${CMAKE_CURRENT_LIST_DIR}/${page})
    list(APPEND MOX_PACKAGED_DOCS ${gz})
    install(FILES ${gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
  endif()
endforeach()

# The changelog carries the version from project(), the one place it is set.
string(TIMESTAMP MOX_RELEASE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
string(TIMESTAMP MOX_RELEASE_DAY "%Y-%m-%d" UTC)
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
set(MOX_CHANGELOG_GZ ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${MOX_CHANGELOG_GZ}
  COMMAND gzip -9n -c ${CMAKE_BINARY_DIR}/packaging/changelog > ${MOX_CHANGELOG_GZ}
  DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog)
list(APPEND MOX_PACKAGED_DOCS ${MOX_CHANGELOG_GZ})
set(MOX_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/moxsim)
install(FILES ${MOX_CHANGELOG_GZ} ${CMAKE_CURRENT_LIST_DIR}/copyright DESTINATION ${MOX_DOC_DIR})

configure_file(${CMAKE_CURRENT_LIST_DIR}/${MOX_APP_ID}.metainfo.xml.in
  ${CMAKE_BINARY_DIR}/packaging/${MOX_APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/${MOX_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

if(TARGET moxsim)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/moxsim.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  # The menu's icon in every size the program's own icon holds, taken from it at build time.
  foreach(size 16 24 32 48 64)
    set(png ${CMAKE_BINARY_DIR}/packaging/icons/${size}x${size}/moxsim.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging/icons/${size}x${size}
      COMMAND moxsim-icon ${CMAKE_SOURCE_DIR}/assets/icon.ico ${size} ${png}
      DEPENDS moxsim-icon ${CMAKE_SOURCE_DIR}/assets/icon.ico)
    list(APPEND MOX_PACKAGED_DOCS ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
endif()
add_custom_target(moxsim-packaged-files ALL DEPENDS ${MOX_PACKAGED_DOCS})

# The Debian package (scripts/package.sh runs cpack). Its run-time dependencies come from dpkg-shlibdeps over the
# installed programs.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME moxsim)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${MOX_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "simulator of MOX chip enhancement and synthesis")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Top up pretend money, buy chips, crystals, catalysts and protectants, lay
them on the work bench and see the odds before each attempt to enhance or
fuse a chip. Nothing real is spent: the stock is kept in a small file in
the user's data directory.

The package also holds moxsim-script, which runs the simulator without a
screen from a script of clicks and queries, and moxsim-plan, which figures
the exact odds and cost of enhancing a chip from one level to another.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The games section is for programs in /usr/games; this one is installed in /usr/bin like any desktop program.
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_SOURCE_DIR}/dist)
include(CPack)
