// vorn::network::ssl::CertificateCheck: how a client judges a TLS peer's certificate.
//
// kDefaultCertificateCheck verifies the chain against the system's trusted roots and the host name against
// the certificate. kAcceptAnyCertificate takes any certificate, which cameras with self-signed certificates
// need; the connection is still encrypted but the peer is not authenticated.
#pragma once

namespace vorn::network::ssl {

enum class CertificateCheck {
    verify,
    acceptAny,
};

inline constexpr CertificateCheck kDefaultCertificateCheck = CertificateCheck::verify;
inline constexpr CertificateCheck kAcceptAnyCertificate = CertificateCheck::acceptAny;

} // namespace vorn::network::ssl
