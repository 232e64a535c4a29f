# The station's MSI (wixl, from Debian's msitools): `cmake --build build-windows --target msi` leaves
# velora-station-<version>-win64.msi in the build folder.
find_program(STATION_WIXL wixl)
find_program(STATION_WIXL_HEAT wixl-heat)
if(STATION_WIXL AND STATION_WIXL_HEAT)
    set(msi_root ${PROJECT_BINARY_DIR}/msi-root)
    set(STATION_MSI ${PROJECT_BINARY_DIR}/velora-station-${PROJECT_VERSION}-win64.msi)
    add_custom_target(msi
        COMMAND ${CMAKE_COMMAND} -E rm -rf ${msi_root}
        COMMAND ${CMAKE_COMMAND} --install ${PROJECT_BINARY_DIR} --prefix ${msi_root} --component station
        COMMAND ${PROJECT_SOURCE_DIR}/packaging/windows/make-msi ${msi_root} ${PROJECT_VERSION} ${STATION_MSI}
        DEPENDS velora-station velora-journal artwork station_runtime
        COMMENT "Making ${STATION_MSI}"
        VERBATIM)
else()
    message(STATUS "wixl not found: no MSI target")
endif()
