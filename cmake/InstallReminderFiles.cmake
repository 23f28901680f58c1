# The install-time half of the reminder's install rules (ExpiryReminder.cmake):
# its files name the program under the prefix being installed to, which
# `cmake --install --prefix` and cpack (the package's /usr) choose only then.
# Given by the rule: REMINDER_SOURCE_DIR, REMINDER_WORK_DIR, REMINDER_BINDIR,
# REMINDER_SYSCONFDIR and REMINDER_UNIT_DIR (the last three as configured,
# relative to the prefix unless absolute).
set(prefix "${CMAKE_INSTALL_PREFIX}")
cmake_path(APPEND prefix "${REMINDER_BINDIR}" karv OUTPUT_VARIABLE KARV_REMINDER_PROGRAM)
cmake_path(APPEND prefix "${REMINDER_UNIT_DIR}" OUTPUT_VARIABLE unit_dir)
# Configuration goes where GNUInstallDirs puts it for this prefix.
if(IS_ABSOLUTE "${REMINDER_SYSCONFDIR}")
  set(etc "${REMINDER_SYSCONFDIR}")
elseif(prefix MATCHES "^/(usr/?)?$")
  set(etc "/${REMINDER_SYSCONFDIR}")
elseif(prefix MATCHES "^/opt/(.+)$")
  set(etc "/${REMINDER_SYSCONFDIR}/opt/${CMAKE_MATCH_1}")
else()
  cmake_path(APPEND prefix "${REMINDER_SYSCONFDIR}" OUTPUT_VARIABLE etc)
endif()

# One folder per prefix: installs to two prefixes may run at once.
string(MD5 prefix_id "${prefix}")
set(work "${REMINDER_WORK_DIR}/${prefix_id}")
foreach(file karv-expiry-check.service karv-expiry-check.timer karv-expiry-check.desktop)
  configure_file("${REMINDER_SOURCE_DIR}/${file}.in" "${work}/${file}" @ONLY)
endforeach()
file(INSTALL DESTINATION "${unit_dir}" TYPE FILE FILES "${work}/karv-expiry-check.service"
     "${work}/karv-expiry-check.timer")
list(APPEND CMAKE_ABSOLUTE_DESTINATION_FILES "${etc}/xdg/autostart/karv-expiry-check.desktop")
file(INSTALL DESTINATION "${etc}/xdg/autostart" TYPE FILE FILES "${work}/karv-expiry-check.desktop")
