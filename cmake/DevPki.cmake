# Generates the development PKI once per build folder with the openssl tool:
#  - gateway-rsa.pem / gateway-rsa-pub.pem: the gateway's 2048-bit key for the
#    public-key regime (the client carries the public half as a build constant);
#  - tls-ca.pem / tls-server.pem / tls-server-key.pem: the TLS trust anchor and
#    the loopback server certificate of the development gateway. The anchor is
#    name-constrained to 127.0.0.1 and localhost, so a build that trusts it
#    trusts nothing else it might sign.
set(KARV_DEV_PKI_DIR "${CMAKE_BINARY_DIR}/devpki" CACHE PATH "Development key material")
find_program(OPENSSL_TOOL openssl REQUIRED)

function(karv_openssl)
  execute_process(COMMAND ${OPENSSL_TOOL} ${ARGN}
                  WORKING_DIRECTORY ${KARV_DEV_PKI_DIR}
                  RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "openssl ${ARGN} failed: ${err}")
  endif()
endfunction()

if(NOT EXISTS "${KARV_DEV_PKI_DIR}/gateway-rsa-pub.pem")
  message(STATUS "Generating the development gateway key in ${KARV_DEV_PKI_DIR}")
  file(MAKE_DIRECTORY ${KARV_DEV_PKI_DIR})
  file(CHMOD ${KARV_DEV_PKI_DIR} DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
  karv_openssl(genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out gateway-rsa.pem)
  karv_openssl(pkey -in gateway-rsa.pem -pubout -out gateway-rsa-pub.pem)
endif()

# Bump when the TLS material changes shape: older build folders then get new
# TLS files (the gateway key above stays).
set(KARV_DEV_TLS_VERSION "name-constrained-1")
set(tls_marker "${KARV_DEV_PKI_DIR}/tls-version.txt")
set(tls_version "")
if(EXISTS "${tls_marker}")
  file(READ "${tls_marker}" tls_version)
endif()
if(NOT tls_version STREQUAL KARV_DEV_TLS_VERSION OR NOT EXISTS "${KARV_DEV_PKI_DIR}/tls-server.pem")
  message(STATUS "Generating the development TLS CA in ${KARV_DEV_PKI_DIR}")
  karv_openssl(req -x509 -newkey rsa:2048 -nodes -keyout tls-ca-key.pem -out tls-ca.pem
               -days 3650 -subj "/CN=KARV Development TLS CA"
               -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign"
               -addext "nameConstraints=critical,permitted\;IP:127.0.0.1/255.255.255.255,permitted\;DNS:localhost")
  file(WRITE ${KARV_DEV_PKI_DIR}/server.ext
       "basicConstraints=CA:FALSE\nkeyUsage=digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\nsubjectAltName=IP:127.0.0.1,DNS:localhost\n")
  karv_openssl(req -newkey rsa:2048 -nodes -keyout tls-server-key.pem -out tls-server.csr -subj "/CN=127.0.0.1")
  karv_openssl(x509 -req -in tls-server.csr -CA tls-ca.pem -CAkey tls-ca-key.pem -CAcreateserial
               -days 825 -extfile server.ext -out tls-server.pem)
  file(WRITE "${tls_marker}" "${KARV_DEV_TLS_VERSION}")
endif()
