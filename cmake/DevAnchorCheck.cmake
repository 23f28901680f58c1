# The development TLS CA is a trust anchor whose key lies in a build folder:
# a client that trusts it may only talk to a gateway on this machine.
#
# karv_check_dev_anchor(<base url> <anchor PEM> <development CA PEM>) stops
# the configuration when the anchor is the development CA and the base URL's
# host is not loopback (127.0.0.1, localhost, [::1]).
#
# Script mode, for tests:
#   cmake -DBASE_URL=... -DANCHOR_PEM=... -DDEV_PEM=... -P DevAnchorCheck.cmake
function(karv_check_dev_anchor base_url anchor_pem dev_pem)
  string(STRIP "${anchor_pem}" anchor)
  string(STRIP "${dev_pem}" dev)
  if(anchor STREQUAL "" OR NOT anchor STREQUAL dev)
    return()
  endif()
  if(NOT base_url MATCHES "^[A-Za-z][A-Za-z0-9+.-]*://(\\[[0-9A-Fa-f:.]*\\]|[^:/@?#]+)(:[0-9]+)?/")
    message(FATAL_ERROR "KARV_GATEWAY_BASE_URL \"${base_url}\" names no host; "
                        "the development TLS CA serves loopback only")
  endif()
  string(TOLOWER "${CMAKE_MATCH_1}" host)
  if(NOT host MATCHES "^(127\\.0\\.0\\.1|localhost|\\[::1\\])$")
    message(FATAL_ERROR "The development TLS CA is the trust anchor, but KARV_GATEWAY_BASE_URL points at "
                        "\"${host}\": give a production gateway its own KARV_EXTRA_CA_FILE (or none)")
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  karv_check_dev_anchor("${BASE_URL}" "${ANCHOR_PEM}" "${DEV_PEM}")
endif()
