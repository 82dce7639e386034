// A throw-away key and self-signed certificate for the fake server's TLS mode, made at run time so that no
// key material is kept in the tree.
#pragma once

#include <string>

#include <openssl/ssl.h>

namespace vorn::testing {

// Installs into the context a new P-256 key and a certificate for `commonName` (also its IP address
// subject alternative name when it is one), valid from a day ago for a day. Throws std::runtime_error when
// OpenSSL fails.
void useSelfSignedCertificate(SSL_CTX* context, const std::string& commonName);

} // namespace vorn::testing
