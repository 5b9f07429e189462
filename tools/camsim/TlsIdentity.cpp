#include "TlsIdentity.h"

#include <boost/asio/ssl/context.hpp>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <fstream>
#include <memory>
#include <sstream>

namespace Camsim {

namespace {

template <class T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* p) const { Free(p); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using CertPtr = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using BioPtr = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;
using ExtPtr = std::unique_ptr<X509_EXTENSION, Deleter<X509_EXTENSION, X509_EXTENSION_free>>;

std::string bioText(BIO* bio)
{
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return size > 0 ? std::string(data, static_cast<std::size_t>(size)) : std::string();
}

std::string fingerprint(X509* cert)
{
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    if (X509_digest(cert, EVP_sha256(), md, &size) != 1)
        return {};
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned i = 0; i < size; ++i) {
        out += digits[md[i] >> 4];
        out += digits[md[i] & 0x0f];
    }
    return out;
}

std::optional<std::string> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool addExtension(X509* cert, int nid, const char* value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    ExtPtr ext(X509V3_EXT_conf_nid(nullptr, &ctx, nid, value));
    return ext && X509_add_ext(cert, ext.get(), -1) == 1;
}

} // namespace

std::optional<TlsIdentity> generateSelfSigned(const std::string& commonName, std::string& error)
{
    KeyPtr key(EVP_EC_gen("P-256"));
    CertPtr cert(X509_new());
    if (!key || !cert) {
        error = "cannot create a key pair";
        return std::nullopt;
    }
    unsigned char serial[8];
    RAND_bytes(serial, sizeof serial);
    serial[0] &= 0x7f;
    BIGNUM* bn = BN_bin2bn(serial, sizeof serial, nullptr);
    BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert.get()));
    BN_free(bn);
    X509_set_version(cert.get(), 2);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 10L * 365 * 24 * 3600);
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Axis Communications AB"),
                               -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName.c_str()),
                               -1, -1, 0);
    X509_set_issuer_name(cert.get(), name);
    X509_set_pubkey(cert.get(), key.get());
    if (!addExtension(cert.get(), NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1,IP:0:0:0:0:0:0:0:1") ||
        !addExtension(cert.get(), NID_basic_constraints, "critical,CA:FALSE") ||
        X509_sign(cert.get(), key.get(), EVP_sha256()) == 0) {
        error = "cannot sign the self-signed certificate";
        return std::nullopt;
    }
    BioPtr certBio(BIO_new(BIO_s_mem()));
    BioPtr keyBio(BIO_new(BIO_s_mem()));
    if (!PEM_write_bio_X509(certBio.get(), cert.get()) ||
        !PEM_write_bio_PrivateKey(keyBio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr)) {
        error = "cannot write the certificate";
        return std::nullopt;
    }
    return TlsIdentity{bioText(certBio.get()), bioText(keyBio.get()), fingerprint(cert.get())};
}

std::optional<TlsIdentity> loadTlsIdentity(const std::string& certFile, const std::string& keyFile,
                                           std::string& error)
{
    const auto cert = readFile(certFile);
    const auto key = readFile(keyFile);
    if (!cert || !key) {
        error = "cannot read " + std::string(!cert ? certFile : keyFile);
        return std::nullopt;
    }
    BioPtr bio(BIO_new_mem_buf(cert->data(), static_cast<int>(cert->size())));
    CertPtr x509(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
    if (!x509) {
        error = certFile + " holds no PEM certificate";
        return std::nullopt;
    }
    return TlsIdentity{*cert, *key, fingerprint(x509.get())};
}

bool configureServerContext(boost::asio::ssl::context& context, const TlsIdentity& identity, std::string& error)
{
    boost::system::error_code ec;
    context.set_options(boost::asio::ssl::context::default_workarounds | boost::asio::ssl::context::no_sslv2 |
                            boost::asio::ssl::context::no_sslv3,
                        ec);
    if (!ec)
        context.use_certificate_chain(boost::asio::buffer(identity.certificatePem), ec);
    if (!ec)
        context.use_private_key(boost::asio::buffer(identity.privateKeyPem), boost::asio::ssl::context::pem, ec);
    if (ec) {
        error = "TLS setup failed: " + ec.message();
        return false;
    }
    return true;
}

} // namespace Camsim
