#pragma once
#include <cert.h>
#include <certdb.h>
#include <nss.h>
#include <p12.h>
#include <pk11pub.h>
#include <prerror.h>

#include <string>

#include "system/SharedLibrary.h"

namespace karv {

// The functions of NSS that the browser databases need. Only the browser
// installation uses NSS, so it is loaded then, not at every start.
// clang-format off
#define KARV_NSS_FUNCTIONS(X)      \
  X(NSS_InitContext)               \
  X(NSS_ShutdownContext)           \
  X(SECMOD_OpenUserDB)             \
  X(SECMOD_CloseUserDB)            \
  X(PK11_FreeSlot)                 \
  X(PK11_IsPresent)                \
  X(PK11_NeedUserInit)             \
  X(PK11_InitPin)                  \
  X(PK11_NeedLogin)                \
  X(PK11_Authenticate)             \
  X(PK11_FindCertFromDERCertItem)  \
  X(PK11_FindKeyByDERCert)         \
  X(PK11_FindKeyByAnyCert)         \
  X(PK11_ListCertsInSlot)          \
  X(PK11_DeleteTokenPrivateKey)    \
  X(SEC_DeletePermCertificate)     \
  X(CERT_DestroyCertificate)       \
  X(CERT_DestroyCertList)          \
  X(CERT_GetCommonName)            \
  X(SECKEY_DestroyPrivateKey)      \
  X(SEC_PKCS12DecoderStart)        \
  X(SEC_PKCS12DecoderUpdate)       \
  X(SEC_PKCS12DecoderVerify)       \
  X(SEC_PKCS12DecoderValidateBags) \
  X(SEC_PKCS12DecoderImportBags)   \
  X(SEC_PKCS12DecoderFinish)       \
  X(SECITEM_AllocItem)             \
  X(PORT_Free)                     \
  X(PR_GetError)                   \
  X(PR_ErrorToName)
// clang-format on

struct NssLibrary {
  KARV_NSS_FUNCTIONS(KARV_LIBRARY_MEMBER)

  // NSS, loaded on the first call (from any thread); null, with the reason in
  // `error`, when it cannot be loaded.
  [[nodiscard]] static const NssLibrary* get(std::string& error);
  // The loaded library, for code that runs only once get() has succeeded.
  [[nodiscard]] static const NssLibrary& loaded();
};

}  // namespace karv
