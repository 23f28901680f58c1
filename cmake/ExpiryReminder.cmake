# The certificate expiry reminder: `karv --check-expiry`, run daily by a
# systemd user timer, and at login by an XDG autostart entry where systemd
# user units are not in use.
include(GNUInstallDirs)

set(KARV_SYSTEMD_USER_UNIT_DIR "lib/systemd/user" CACHE STRING
    "Where the systemd user units go, relative to the install prefix")
set(KARV_REMINDER_FILES karv-expiry-check.service karv-expiry-check.timer karv-expiry-check.desktop)

# For the tests: the files naming this build's program.
set(KARV_REMINDER_PROGRAM "$<TARGET_FILE:karv>")
foreach(file ${KARV_REMINDER_FILES})
  configure_file(${CMAKE_SOURCE_DIR}/resources/reminder/${file}.in ${CMAKE_BINARY_DIR}/reminder-build/${file}.in @ONLY)
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/reminder-build/${file} INPUT ${CMAKE_BINARY_DIR}/reminder-build/${file}.in)
endforeach()

# As installed: naming the installed program. They are made when installing,
# for the prefix installed to (`cmake --install --prefix`, the package's /usr).
install(CODE "set(REMINDER_SOURCE_DIR [[${CMAKE_SOURCE_DIR}/resources/reminder]])
set(REMINDER_WORK_DIR [[${CMAKE_BINARY_DIR}/reminder]])
set(REMINDER_BINDIR [[${CMAKE_INSTALL_BINDIR}]])
set(REMINDER_SYSCONFDIR [[${CMAKE_INSTALL_SYSCONFDIR}]])
set(REMINDER_UNIT_DIR [[${KARV_SYSTEMD_USER_UNIT_DIR}]])" COMPONENT reminder)
install(SCRIPT cmake/InstallReminderFiles.cmake COMPONENT reminder)

if(KARV_BUILD_TESTS)
  # The unit files as systemd reads them, the autostart entry as desktops do,
  # and the install rules' places.
  add_test(NAME reminder.files
           COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR} -DWORK_DIR=${CMAKE_BINARY_DIR}/reminder-test
                   -DUNIT_DIR=${CMAKE_INSTALL_PREFIX}/${KARV_SYSTEMD_USER_UNIT_DIR}
                   -DAUTOSTART_DIR=${CMAKE_INSTALL_FULL_SYSCONFDIR}/xdg/autostart
                   -P ${CMAKE_SOURCE_DIR}/tests/reminder/verify_reminder_files.cmake)
endif()
