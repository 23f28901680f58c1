#pragma once
#include <QString>

#include "crypto/SecretWipe.h"

class QLineEdit;

namespace karv::app {

using karv::wipeSecret;
// Overwrites the characters of a secret text that no other QString shares
// (writing into a shared one would copy it first), then empties it.
void wipeSecret(QString& secret);
// Empties a field holding a secret, its undo history too.
void clearSecretField(QLineEdit* field);

}  // namespace karv::app
