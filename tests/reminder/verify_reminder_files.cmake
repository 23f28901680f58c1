# The reminder's systemd user units as systemd reads them, its autostart entry
# as desktops read it, and where the install rules put them.
# cmake -DBUILD_DIR=... -DWORK_DIR=... -DUNIT_DIR=... -DAUTOSTART_DIR=... -P verify_reminder_files.cmake

function(run_quietly what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  # Warnings count too: systemd ignores what it cannot read and says so.
  if(NOT rc EQUAL 0 OR NOT out STREQUAL "")
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}")
  endif()
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR}/home ${WORK_DIR}/run)
file(CHMOD ${WORK_DIR}/run DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
set(built ${BUILD_DIR}/reminder-build)

run_quietly("systemd-analyze verify"
            ${CMAKE_COMMAND} -E env HOME=${WORK_DIR}/home XDG_RUNTIME_DIR=${WORK_DIR}/run
            systemd-analyze --user verify ${built}/karv-expiry-check.timer ${built}/karv-expiry-check.service)
run_quietly("desktop-file-validate" desktop-file-validate ${built}/karv-expiry-check.desktop)

set(root ${WORK_DIR}/root)
execute_process(COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${root} ${CMAKE_COMMAND} --install ${BUILD_DIR}
                        --component reminder
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "install failed (${rc}):\n${out}")
endif()
foreach(installed ${UNIT_DIR}/karv-expiry-check.service ${UNIT_DIR}/karv-expiry-check.timer
                  ${AUTOSTART_DIR}/karv-expiry-check.desktop)
  if(NOT EXISTS ${root}${installed})
    message(FATAL_ERROR "not installed: ${installed}")
  endif()
endforeach()
