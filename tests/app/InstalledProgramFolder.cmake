# The installed program folder: its batch file starts as a program, and the program hands the words
# after its name to the command it runs exactly as given, Qt's own options included.
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -P InstalledProgramFolder.cmake
file(REMOVE_RECURSE "${WORK_DIR}")
set(prefix "${WORK_DIR}/program folder")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${prefix}"
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "install failed: ${rc}")
endif()

execute_process(COMMAND "${prefix}/VELORA1.bat" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the installed VELORA1.bat does not start as a program: ${rc}")
endif()

# No display is needed; the offscreen platform comes from the environment, never from the command.
set(out "${WORK_DIR}/words")
execute_process(
    COMMAND "${CMAKE_COMMAND}" -E env QT_QPA_PLATFORM=offscreen
            "${prefix}/velora-station" /bin/sh -c "printf '%s|' \"$@\" > \"$0.part\" && mv \"$0.part\" \"$0\""
            "${out}" "with space" -platform xcb -style fusion "$(touch hacked)"
    WORKING_DIRECTORY "${WORK_DIR}"
    TIMEOUT 8
    RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
if(NOT EXISTS "${out}")
    message(FATAL_ERROR "the command given to the station did not run (station: ${rc})")
endif()
file(READ "${out}" words)
set(expected "with space|-platform|xcb|-style|fusion|$(touch hacked)|")
if(NOT words STREQUAL expected)
    message(FATAL_ERROR "the command got [${words}], expected [${expected}]")
endif()
if(EXISTS "${WORK_DIR}/hacked")
    message(FATAL_ERROR "a shell read the command's words")
endif()

# The spectrum checks' command lies beside the station and runs from there.
execute_process(COMMAND "${prefix}/velora-spectrum-check" --help RESULT_VARIABLE rc OUTPUT_VARIABLE help)
if(NOT rc EQUAL 0 OR NOT help MATCHES "data point files")
    message(FATAL_ERROR "velora-spectrum-check is not in the program folder or does not run: ${rc}")
endif()
