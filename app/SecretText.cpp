#include "app/SecretText.h"

#include <openssl/crypto.h>

#include <QLineEdit>

namespace karv::app {

void wipeSecret(QString& secret) {
  if (!secret.isEmpty() && secret.isDetached())
    OPENSSL_cleanse(secret.data(), static_cast<size_t>(secret.size()) * sizeof(QChar));
  secret.clear();
}

void clearSecretField(QLineEdit* field) {
  // setText, unlike clear(), also drops the undo history, which would keep
  // the removed text.
  field->setText(QString());
}

}  // namespace karv::app
