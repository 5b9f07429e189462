#include "http/TlsPolicy.h"

#include <netkit/http/HttpError.h>

#include <boost/asio/ip/address.hpp>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cctype>

namespace Orix::http::detail {
namespace {

bool isAddressLiteral(const std::string& host)
{
    boost::system::error_code ec;
    boost::asio::ip::make_address(host, ec);
    return !ec;
}

std::unique_ptr<boost::asio::ssl::context> makeContext()
{
    auto context = std::make_unique<boost::asio::ssl::context>(boost::asio::ssl::context::tls_client);
    context->set_options(boost::asio::ssl::context::default_workarounds |
                         boost::asio::ssl::context::no_sslv2 | boost::asio::ssl::context::no_sslv3);
    boost::system::error_code ec;
    // Without a readable store every default-verified connection is
    // rejected, which is the safe outcome; pinned and relaxed ones still work.
    context->set_default_verify_paths(ec);
    context->set_verify_mode(boost::asio::ssl::verify_peer, ec);
    return context;
}

} // namespace

boost::asio::ssl::context& sharedTlsContext()
{
    static const std::unique_ptr<boost::asio::ssl::context> context = makeContext();
    return *context;
}

std::string certificateFingerprint(X509* certificate)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (!certificate || X509_digest(certificate, EVP_sha256(), digest, &size) != 1)
        return {};
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < size; ++i) {
        hex += digits[digest[i] >> 4];
        hex += digits[digest[i] & 0x0f];
    }
    return hex;
}

TlsPolicy::TlsPolicy(const asio::ConnectionInfo& info)
    : host_(info.host), acceptAny_(info.acceptSelfSigned)
{
    for (const char c : info.certificateFingerprint) {
        if (c != ':')
            fingerprint_ += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
}

bool TlsPolicy::prepare(SSL* ssl) const
{
    if (!isAddressLiteral(host_) && !host_.empty()) {
        // RFC 6066 section 3: SNI carries DNS names only.
        if (SSL_set_tlsext_host_name(ssl, host_.c_str()) != 1)
            return false;
    }
    if (acceptAny_ || !fingerprint_.empty())
        return true;
    // The name check becomes part of chain verification, so a mismatch
    // arrives in verify() as a failed pre-verification.
    X509_VERIFY_PARAM* param = SSL_get0_param(ssl);
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    if (isAddressLiteral(host_))
        return X509_VERIFY_PARAM_set1_ip_asc(param, host_.c_str()) == 1;
    return X509_VERIFY_PARAM_set1_host(param, host_.c_str(), host_.size()) == 1;
}

bool TlsPolicy::verify(bool preverified, boost::asio::ssl::verify_context& context)
{
    X509_STORE_CTX* store = context.native_handle();
    if (!fingerprint_.empty()) {
        // Pinning replaces the chain: only the leaf decides.
        if (X509_STORE_CTX_get_error_depth(store) != 0)
            return true;
        if (certificateFingerprint(X509_STORE_CTX_get_current_cert(store)) == fingerprint_)
            return true;
        mismatch_ = true;
        return false;
    }
    if (preverified || acceptAny_)
        return true;
    rejected_ = true;
    return false;
}

boost::system::error_code TlsPolicy::handshakeError() const
{
    if (mismatch_)
        return error::fingerprintMismatch;
    if (rejected_)
        return error::certificateRejected;
    return error::tlsHandshakeFailed;
}

} // namespace Orix::http::detail
