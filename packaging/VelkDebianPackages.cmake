# Debian packages of the installed tree, one per component (cpack -G DEB, run
# by "./run package" on a tree configured for the prefix /usr):
#   libvelklink1      the library
#   libvelklink-dev   header, unversioned link, pkg-config file, CMake package
#   velkctl           velkctl and velksim, manual pages, completion, udev rule
#   screenup          the window program (where Qt 6 was found)
#   python3-velklink  the Python package over the library
# Versions come from project(); dependencies on the system's libraries from
# dpkg-shlibdeps, between the packages from the components' dependencies.
# Descriptions: a summary line, then plain lines; an empty line ends a
# paragraph (CPack indents them as the control file wants).
set(VELK_PACKAGE_MAINTAINER "velklink developers <velklink@example.org>"
    CACHE STRING "Maintainer field of the Debian packages")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velklink)
set(CPACK_PACKAGE_VENDOR "velklink developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${VELK_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VELK_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# screenup needs libvelklink.so.1 of this build; dpkg-shlibdeps finds it here
# and leaves the dependency to the component's (libvelklink1 of this version).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/velklink)

set(CPACK_COMPONENTS_ALL library development tools python)
if(TARGET screenup)
    list(APPEND CPACK_COMPONENTS_ALL screenup)
endif()

set(CPACK_DEBIAN_LIBRARY_PACKAGE_NAME libvelklink${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
# The shlibs file of the library, so that other packages built against it get
# their dependency on it from dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# The loader's cache is refreshed through libc's ldconfig trigger.
set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_SOURCE_DIR}/debian/triggers)
set(CPACK_COMPONENT_LIBRARY_DESCRIPTION
    "serial protocol library of a satellite decoder
libvelklink speaks the serial protocol of a digital satellite decoder (a
set-top box) wired to a serial port: a link layer of checksummed,
acknowledged packets; a transfer layer that synchronises with the decoder,
reads and writes its flash memory and EEPROM and uploads firmware; and a
store of named records of named items in the decoder's flash.

This package holds the shared library.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libvelklink-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS library)
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION
    "serial protocol library of a satellite decoder - development files
libvelklink speaks the serial protocol of a digital satellite decoder (a
set-top box) wired to a serial port: transfers of flash memory and EEPROM,
firmware upload and a store of named records.

This package holds the C header, the pkg-config file and the CMake package
(find_package(velklink), target velklink::velklink).")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME velkctl)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION electronics)
set(CPACK_COMPONENT_TOOLS_DESCRIPTION
    "command-line tool and simulator for a satellite decoder
velkctl runs every operation on a digital satellite decoder wired to a
serial port: synchronise, read and write flash memory and EEPROM, upload
firmware, list, load, save and delete record items, back up and restore the
record area, upload a screen set and copy the settings record.

velksim plays the decoder on a pseudo-terminal, with faults on demand, so
that hosts can be tried without hardware. A udev rule gives the group
dialout the common USB serial adapters.")

set(CPACK_DEBIAN_SCREENUP_PACKAGE_NAME screenup)
set(CPACK_DEBIAN_SCREENUP_PACKAGE_SECTION electronics)
set(CPACK_COMPONENT_SCREENUP_DEPENDS library)
set(CPACK_COMPONENT_SCREENUP_DESCRIPTION
    "screen set uploader for a satellite decoder
screenup uploads the on-screen-display resources of a digital satellite
decoder wired to a serial port (pictures, palettes and the banner panel,
with their settings item), copies the decoder's settings record into a file
and edits palette files and the banner's size.")

# Pure Python, for any architecture; byte-compiled on install and cleaned on
# removal by Debian's Python tools, as their own packages are.
set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-velklink)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS python3)
set(CPACK_COMPONENT_PYTHON_DEPENDS library)
set(CPACK_DEBIAN_PYTHON_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_SOURCE_DIR}/debian/python/postinst ${CMAKE_CURRENT_SOURCE_DIR}/debian/python/prerm)
set(CPACK_COMPONENT_PYTHON_DESCRIPTION
    "Python module for the serial protocol of a satellite decoder
velklink is a Python interface to libvelklink, the serial protocol library
of a digital satellite decoder (a set-top box) wired to a serial port:
synchronise, read and write flash memory and EEPROM, upload firmware, list
the decoder's records and load and save their items.

Failures are Python exceptions carrying the library's message, the
protocol's log lines go to the logging module, and Ctrl-C ends a transfer.")

# Debian wants a changelog in each package's documentation folder; written
# only for the packages (VELK_PACKAGE_DOCS), with the version of project() and
# the date of SOURCE_DATE_EPOCH when it is set.
option(VELK_PACKAGE_DOCS "Install the changelog each Debian package carries" OFF)
if(VELK_PACKAGE_DOCS)
    string(TIMESTAMP VELK_PACKAGE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
    configure_file(debian/changelog.in ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog @ONLY)
    execute_process(COMMAND gzip -9nf ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog RESULT_VARIABLE gzip_result)
    if(NOT gzip_result EQUAL 0)
        message(FATAL_ERROR "gzip of the Debian changelog failed: ${gzip_result}")
    endif()
    foreach(component IN LISTS CPACK_COMPONENTS_ALL)
        string(TOUPPER ${component} upper)
        install(FILES ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME} COMPONENT ${component})
    endforeach()
endif()

include(CPack)
