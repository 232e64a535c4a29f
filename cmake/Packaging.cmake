# Packages of the program folder (cpack -G DEB in the build folder). Every install rule belongs to a
# component: "station" (the default) is the program folder a site installs; "simulators" are the
# simulated peers, packaged apart and left out of `cmake --install` unless asked for by name.
# Per-generator choices (which components each generator packs) live in CPackOptions.cmake.in.

install(FILES ${PROJECT_SOURCE_DIR}/packaging/velora-station.desktop ${PROJECT_SOURCE_DIR}/packaging/velora-station.svg
        DESTINATION . COMPONENT station)
install(TARGETS velora-sim-controller velora-sim-spectrometer velora-sim-server
        RUNTIME DESTINATION simulators COMPONENT simulators EXCLUDE_FROM_ALL)

set(CPACK_PACKAGE_NAME velora-station)
set(CPACK_PACKAGE_VENDOR "VELORA")
set(CPACK_PACKAGE_CONTACT "VELORA station maintainers <station@velora.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Operator console of the VELORA diamond fingerprinting bench")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /opt/velora-station)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_STATION_PACKAGE_NAME velora-station)
set(CPACK_DEBIAN_STATION_PACKAGE_DEPENDS
    "libc6, libstdc++6, libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), libqt6network6 (>= 6.4), libqt6serialport6 (>= 6.4), qt6-qpa-plugins, libcurl4, libssl3, ca-certificates")
set(CPACK_DEBIAN_STATION_PACKAGE_RECOMMENDS "fonts-dejavu-core")
set(CPACK_DEBIAN_STATION_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/packaging/postinst ${PROJECT_SOURCE_DIR}/packaging/postrm)
set(CPACK_DEBIAN_STATION_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_COMPONENT_STATION_DESCRIPTION "The station program folder: program, pictures, example settings")
set(CPACK_DEBIAN_SIMULATORS_PACKAGE_NAME velora-station-sim)
set(CPACK_DEBIAN_SIMULATORS_PACKAGE_DEPENDS "libc6, libstdc++6, libqt6core6 (>= 6.4), libqt6network6 (>= 6.4), libssl3")
set(CPACK_COMPONENT_SIMULATORS_DESCRIPTION "Simulated controller, spectrometer software and servers of the bench")

configure_file(${CMAKE_CURRENT_LIST_DIR}/CPackOptions.cmake.in ${PROJECT_BINARY_DIR}/CPackOptions.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/CPackOptions.cmake)

include(CPack)
