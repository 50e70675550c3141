#include "tls/server_tls.h"

#include <openssl/evp.h>

#include <array>
#include <cstdio>

#include "tls/tls_contexts.h"
#include "tls/tls_identity.h"

namespace vantrel::cli {
namespace {

std::string hexPairs(const X509* certificate) {
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
  unsigned length = 0;
  if (X509_digest(certificate, EVP_sha256(), digest.data(), &length) != 1) return "?";
  std::string text;
  for (unsigned i = 0; i < length; ++i) {
    char pair[4];
    std::snprintf(pair, sizeof pair, i == 0 ? "%02X" : ":%02X", digest[i]);
    text += pair;
  }
  return text;
}

}  // namespace

std::optional<ServerTls> openServerTls(const ServerTlsFiles& files, std::string_view keptName, std::string& error) {
  std::optional<TlsIdentity> identity;
  std::string origin;
  if (files.certificate) {
    identity = loadIdentity(*files.certificate, files.key.value_or(*files.certificate), error);
    origin = "from " + *files.certificate;
  } else {
    const std::filesystem::path folder = files.stateDir ? std::filesystem::path(*files.stateDir) : defaultStateFolder();
    identity = keptIdentity(folder, keptName, error);
    origin = "kept in " + (folder / (std::string(keptName) + ".pem")).string();
  }
  if (!identity) return std::nullopt;
  const auto digest = publicKeyDigest(identity->certificate.get());
  if (!digest) {
    error = "cannot read the certificate's key";
    return std::nullopt;
  }
  SslContextPtr context = serverContext(*identity, error);
  if (!context) return std::nullopt;
  return ServerTls{std::move(context), formatFingerprint(*digest), hexPairs(identity->certificate.get()), origin};
}

}  // namespace vantrel::cli
