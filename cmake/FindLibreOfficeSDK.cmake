# Finds the LibreOffice SDK and installation and generates the C++ headers of
# the office API with cppumaker (they are never committed).
#
# Defines the imported target LibreOffice::SDK (include paths, UNO libraries,
# the generated headers) and LibreOffice_PROGRAM_DIR (where soffice.bin lives).

set(_lo_hints /usr/lib/libreoffice /opt/libreoffice /usr/lib64/libreoffice)

find_path(LibreOffice_INSTALL_DIR NAMES program/types.rdb HINTS ${LibreOffice_ROOT} ${_lo_hints})
find_program(LibreOffice_CPPUMAKER cppumaker HINTS ${LibreOffice_INSTALL_DIR}/sdk/bin)
find_path(LibreOffice_INCLUDE_DIR NAMES sal/config.h
          HINTS ${LibreOffice_INSTALL_DIR}/sdk/include /usr/include/libreoffice)

set(_lo_libdirs ${LibreOffice_INSTALL_DIR}/sdk/lib ${LibreOffice_INSTALL_DIR}/program)
find_library(LibreOffice_CPPU_LIBRARY NAMES uno_cppu HINTS ${_lo_libdirs})
find_library(LibreOffice_SAL_LIBRARY NAMES uno_sal HINTS ${_lo_libdirs})
find_library(LibreOffice_CPPUHELPER_LIBRARY NAMES uno_cppuhelpergcc3 HINTS ${_lo_libdirs})
find_library(LibreOffice_SALHELPER_LIBRARY NAMES uno_salhelpergcc3 HINTS ${_lo_libdirs})

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(LibreOfficeSDK
    REQUIRED_VARS LibreOffice_INSTALL_DIR LibreOffice_CPPUMAKER LibreOffice_INCLUDE_DIR
                  LibreOffice_CPPU_LIBRARY LibreOffice_SAL_LIBRARY
                  LibreOffice_CPPUHELPER_LIBRARY LibreOffice_SALHELPER_LIBRARY)

if(LibreOfficeSDK_FOUND AND NOT TARGET LibreOffice::SDK)
    set(LibreOffice_PROGRAM_DIR ${LibreOffice_INSTALL_DIR}/program)
    set(_lo_types ${LibreOffice_PROGRAM_DIR}/types.rdb)
    set(_lo_offapi ${LibreOffice_PROGRAM_DIR}/types/offapi.rdb)
    set(_lo_gen ${CMAKE_BINARY_DIR}/uno-headers)
    set(_lo_stamp ${_lo_gen}/.stamp)
    add_custom_command(
        OUTPUT ${_lo_stamp}
        COMMAND ${LibreOffice_CPPUMAKER} -Gc -O${_lo_gen} ${_lo_types} ${_lo_offapi}
        COMMAND ${CMAKE_COMMAND} -E touch ${_lo_stamp}
        DEPENDS ${_lo_types} ${_lo_offapi}
        COMMENT "Generating office API headers with cppumaker"
        VERBATIM)
    add_custom_target(uno_headers DEPENDS ${_lo_stamp})

    file(MAKE_DIRECTORY ${_lo_gen})
    add_library(libreoffice_sdk INTERFACE)
    target_include_directories(libreoffice_sdk SYSTEM INTERFACE ${_lo_gen} ${LibreOffice_INCLUDE_DIR})
    target_compile_definitions(libreoffice_sdk INTERFACE LINUX UNX CPPU_ENV=gcc3)
    target_link_libraries(libreoffice_sdk INTERFACE
        ${LibreOffice_CPPUHELPER_LIBRARY} ${LibreOffice_SALHELPER_LIBRARY}
        ${LibreOffice_CPPU_LIBRARY} ${LibreOffice_SAL_LIBRARY})
    # The UNO libraries load private libraries of the installation.
    target_link_options(libreoffice_sdk INTERFACE
        "LINKER:-rpath-link,${LibreOffice_PROGRAM_DIR}" "LINKER:-rpath,${LibreOffice_PROGRAM_DIR}")
    add_dependencies(libreoffice_sdk uno_headers)
    add_library(LibreOffice::SDK ALIAS libreoffice_sdk)
endif()
