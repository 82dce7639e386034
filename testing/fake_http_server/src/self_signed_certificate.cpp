#include "self_signed_certificate.h"

#include <memory>
#include <stdexcept>

#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace vorn::testing {

namespace {

void check(int result, const char* what)
{
    if (result <= 0)
        throw std::runtime_error(std::string("self-signed certificate: ") + what + " failed");
}

} // namespace

void useSelfSignedCertificate(SSL_CTX* context, const std::string& commonName)
{
    const std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_EC_gen("P-256"), &EVP_PKEY_free);
    check(key != nullptr, "key generation");

    const std::unique_ptr<X509, decltype(&X509_free)> certificate(X509_new(), &X509_free);
    check(certificate != nullptr, "X509_new");
    check(X509_set_version(certificate.get(), 2), "version");
    check(ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), 1), "serial number");
    check(X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -24 * 60 * 60) != nullptr, "not before");
    check(X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 24 * 60 * 60) != nullptr, "not after");
    check(X509_set_pubkey(certificate.get(), key.get()), "public key");

    X509_NAME* name = X509_get_subject_name(certificate.get());
    check(X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                     reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1, 0),
          "common name");
    check(X509_set_issuer_name(certificate.get(), name), "issuer");

    X509V3_CTX extensionContext;
    X509V3_set_ctx_nodb(&extensionContext);
    X509V3_set_ctx(&extensionContext, certificate.get(), certificate.get(), nullptr, nullptr, 0);
    const std::string altName = "IP:" + commonName;
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &extensionContext, NID_subject_alt_name, altName.c_str());
    if (extension) {
        X509_add_ext(certificate.get(), extension, -1);
        X509_EXTENSION_free(extension);
    }

    check(X509_sign(certificate.get(), key.get(), EVP_sha256()), "signing");
    check(SSL_CTX_use_certificate(context, certificate.get()), "SSL_CTX_use_certificate");
    check(SSL_CTX_use_PrivateKey(context, key.get()), "SSL_CTX_use_PrivateKey");
}

} // namespace vorn::testing
