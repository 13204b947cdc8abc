# The Debian packages: one per component of the install rules. Library
# dependencies are read from the binaries by dpkg-shlibdeps; only what it
# cannot see is named here (our own library where a program loads it at run
# time, Qt's platform plugins, Python).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varrok)
set(CPACK_PACKAGE_VERSION ${VARROK_DEB_VERSION})
set(CPACK_PACKAGE_VENDOR "The Varrok project")
set(CPACK_PACKAGE_CONTACT "Varrok developers <dev@varrok.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${VARROK_COMPONENTS})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://varrok.example)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Programs linked to our own library: dpkg-shlibdeps finds it in the build
# folder (no package owns it there), and the package names it instead.
get_target_property(varrok_lib_dir Varrok LIBRARY_OUTPUT_DIRECTORY)
if(NOT varrok_lib_dir)
  set(varrok_lib_dir ${PROJECT_BINARY_DIR}/reader)
endif()
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${varrok_lib_dir})
set(varrok_lib_depends "libvarrok1 (= ${VARROK_DEB_VERSION})")
function(varrok_links_library target result)
  set(${result} "" PARENT_SCOPE)
  if(TARGET ${target})
    get_target_property(libraries ${target} LINK_LIBRARIES)
    if(Varrok IN_LIST libraries)
      set(${result} "${varrok_lib_depends}" PARENT_SCOPE)
    endif()
  endif()
endfunction()

set(CPACK_DEBIAN_LIB_PACKAGE_NAME libvarrok1)
set(CPACK_DEBIAN_LIB_PACKAGE_SECTION libs)
# The shlibs file tells dpkg-shlibdeps of programs built against the library
# which package to depend on; ldconfig runs once per apt run through the trigger.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_LIB_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_SOURCE_DIR}/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_LIB_DESCRIPTION "reader library for desktop contactless card readers
Varrok drives desktop 13.56 MHz card readers on a serial port or over TCP
through a flat C interface: ISO 14443 A/B, MIFARE Classic, Ultralight,
MIFARE Plus, DESFire, ISO 14443-4 APDUs, SAM slots, ISO 15693, ICODE1, ST
and AT88RF020 cards, and the reader's beeper, LEDs, antenna and flash.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libvarrok-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "${varrok_lib_depends}")
set(CPACK_DEBIAN_DEV_DESCRIPTION "reader library for contactless card readers - development files
The header varrok.h, the link to the library, a pkg-config file
(pkg-config --cflags --libs varrok), a CMake package (find_package(Varrok)
gives the target Varrok::Varrok) and example programs.")

set(CPACK_DEBIAN_CARDTOOL_PACKAGE_NAME oskelle)
set(CPACK_DEBIAN_CARDTOOL_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_CARDTOOL_PACKAGE_DEPENDS "${varrok_lib_depends}, qt6-qpa-plugins")
set(CPACK_DEBIAN_CARDTOOL_PACKAGE_RECOMMENDS "qt6-translations-l10n, fonts-wqy-microhei")
set(CPACK_DEBIAN_CARDTOOL_DESCRIPTION "card tool for desktop contactless card readers
Oskelle is a desktop program for engineers who test 13.56 MHz contactless
cards and readers: one page per card family, the reader's settings, and a
DES calculator. It talks to a reader on a serial port or over TCP.")

varrok_links_library(varrok_cli cli_depends)
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME varrok-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "${cli_depends}")
set(CPACK_DEBIAN_TOOLS_DESCRIPTION "command-line tools for contactless card readers
varrok-sim plays a desktop card reader with virtual cards in its field, over
TCP on the loopback address and over a pseudo-terminal standing for a serial
port. Where present, the varrok command drives readers and cards from a
terminal or a script.")

varrok_links_library(varrok_ifd ifd_depends)
set(CPACK_DEBIAN_PCSC_PACKAGE_NAME varrok-pcsc)
set(CPACK_DEBIAN_PCSC_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PCSC_PACKAGE_DEPENDS "${ifd_depends}")
set(CPACK_DEBIAN_PCSC_PACKAGE_RECOMMENDS pcscd)
set(CPACK_DEBIAN_PCSC_DESCRIPTION "PC/SC driver for contactless card readers
A driver that lets pcscd use a desktop contactless reader, with its
contactless slot and SAM slots. A sample reader configuration is in the
package's examples folder; no reader is declared until it is copied.")

set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-varrok)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "python3, libvarrok1 (>= ${VARROK_DEB_VERSION})")
set(CPACK_DEBIAN_PYTHON_PACKAGE_SUGGESTS varrok-tools)
set(CPACK_DEBIAN_PYTHON_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_SOURCE_DIR}/python3-varrok/postinst
                                              ${CMAKE_CURRENT_SOURCE_DIR}/python3-varrok/prerm)
set(CPACK_DEBIAN_PYTHON_DESCRIPTION "Python interface to contactless card readers
A Python package over the Varrok reader library: readers as context
managers, bytes in and out, errors as exceptions carrying the library's
return code.")

include(CPack)
