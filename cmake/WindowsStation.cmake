# The Windows program folder in the build tree (build/station): the pictures drawn by a native build,
# and the Qt and compiler runtime DLLs beside the program, so it runs from there (under Wine too).
set(STATION_ARTWORK_DIR "" CACHE PATH "Folder holding the console's pictures, drawn by a native build's velora-artwork")
set(STATION_PROGRAM_DIR ${PROJECT_BINARY_DIR}/station)
if(NOT STATION_ARTWORK_DIR OR NOT EXISTS ${STATION_ARTWORK_DIR}/VELORA.jpg)
    message(FATAL_ERROR "STATION_ARTWORK_DIR must name a folder with the console's pictures (build/station of a native build)")
endif()
add_custom_target(artwork ALL
    COMMAND ${CMAKE_COMMAND} -E make_directory ${STATION_PROGRAM_DIR}
    COMMAND ${CMAKE_COMMAND} -DFROM=${STATION_ARTWORK_DIR} -DTO=${STATION_PROGRAM_DIR}
            -P ${CMAKE_CURRENT_LIST_DIR}/CopyPictures.cmake
    COMMENT "Copying the console's pictures")
install(DIRECTORY ${STATION_PROGRAM_DIR}/ DESTINATION . FILES_MATCHING PATTERN "*.jpg")

# Qt is shared (LGPL: a site may replace its DLLs); the compiler's runtime comes with it.
set(station_runtime_dlls)
foreach(name libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${name} OUTPUT_VARIABLE dll
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${dll}")
        find_file(dll_${name} ${name} PATHS /usr/x86_64-w64-mingw32/lib NO_DEFAULT_PATH REQUIRED)
        set(dll ${dll_${name}})
    endif()
    list(APPEND station_runtime_dlls ${dll})
endforeach()
set(station_qt_dlls $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets>
                    $<TARGET_FILE:Qt6::Network>)
set(station_qt_platform $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin>)
set(station_qt_imageformats $<TARGET_FILE:Qt6::QJpegPlugin>)
set(station_qt_styles)
if(TARGET Qt6::QWindowsVistaStylePlugin)
    set(station_qt_styles $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin>)
endif()

add_custom_target(station_runtime ALL
    COMMAND ${CMAKE_COMMAND} -E make_directory ${STATION_PROGRAM_DIR}/platforms ${STATION_PROGRAM_DIR}/imageformats
            ${STATION_PROGRAM_DIR}/styles
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${station_runtime_dlls} ${station_qt_dlls} ${STATION_PROGRAM_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${station_qt_platform} ${STATION_PROGRAM_DIR}/platforms
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${station_qt_imageformats} ${STATION_PROGRAM_DIR}/imageformats
    COMMAND_EXPAND_LISTS
    COMMENT "Copying the Qt and runtime DLLs beside the program")
if(station_qt_styles)
    add_custom_command(TARGET station_runtime POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E copy_if_different ${station_qt_styles} ${STATION_PROGRAM_DIR}/styles)
    install(FILES ${station_qt_styles} DESTINATION styles)
endif()
install(FILES ${station_runtime_dlls} ${station_qt_dlls} DESTINATION .)
install(FILES ${station_qt_platform} DESTINATION platforms)
install(FILES ${station_qt_imageformats} DESTINATION imageformats)
