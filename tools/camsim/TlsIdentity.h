#pragma once
// The server certificate for HTTPS: read from PEM files, or made at start as
// a camera does out of the box (self-signed, EC P-256, SHA-256 signature).
#include <optional>
#include <string>

namespace boost::asio::ssl {
class context;
}

namespace Camsim {

struct TlsIdentity {
    std::string certificatePem;
    std::string privateKeyPem;
    std::string sha256Fingerprint; // lower-case hex of the certificate's DER
};

std::optional<TlsIdentity> generateSelfSigned(const std::string& commonName, std::string& error);
std::optional<TlsIdentity> loadTlsIdentity(const std::string& certFile, const std::string& keyFile,
                                           std::string& error);
bool configureServerContext(boost::asio::ssl::context& context, const TlsIdentity& identity,
                            std::string& error);

} // namespace Camsim
