#include "tls/tls_contexts.h"

#include <arpa/inet.h>
#include <openssl/x509v3.h>

namespace vantrel::cli {
namespace {

constexpr const char* kTls12Ciphers = "ECDHE+AESGCM:ECDHE+CHACHA20";

SslContextPtr baseContext(const SSL_METHOD* method, std::string& error) {
  SslContextPtr context(SSL_CTX_new(method));
  if (!context || SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION) != 1 ||
      SSL_CTX_set_cipher_list(context.get(), kTls12Ciphers) != 1) {
    error = "cannot set up TLS: " + openSslReason("OpenSSL failed");
    return nullptr;
  }
  SSL_CTX_set_options(context.get(), SSL_OP_NO_RENEGOTIATION | SSL_OP_NO_TICKET);
  return context;
}

bool isAddress(const std::string& host) {
  in_addr address{};
  return inet_pton(AF_INET, host.c_str(), &address) == 1;
}

}  // namespace

bool nameServer(SSL* ssl, const std::string& host) {
  const bool address = isAddress(host);
  if (!address && SSL_set_tlsext_host_name(ssl, host.c_str()) != 1) return false;
  if ((SSL_get_verify_mode(ssl) & SSL_VERIFY_PEER) == 0) return true;
  return address ? X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host.c_str()) == 1
                 : SSL_set1_host(ssl, host.c_str()) == 1;
}

SslContextPtr serverContext(const TlsIdentity& identity, std::string& error) {
  SslContextPtr context = baseContext(TLS_server_method(), error);
  if (!context) return nullptr;
  bool ok = SSL_CTX_use_certificate(context.get(), identity.certificate.get()) == 1 &&
            SSL_CTX_use_PrivateKey(context.get(), identity.key.get()) == 1;
  for (const X509Ptr& link : identity.chain) ok = ok && SSL_CTX_add1_chain_cert(context.get(), link.get()) == 1;
  if (!ok || SSL_CTX_set_num_tickets(context.get(), 0) != 1) {
    error = "cannot serve with this certificate: " + openSslReason("OpenSSL failed");
    return nullptr;
  }
  return context;
}

SslContextPtr clientContext(const std::optional<std::string>& caFile, std::string& error) {
  SslContextPtr context = baseContext(TLS_client_method(), error);
  if (!context || !caFile) return context;
  if (SSL_CTX_load_verify_locations(context.get(), caFile->c_str(), nullptr) != 1) {
    error = "cannot read the CA certificates in '" + *caFile + "': " + openSslReason("none found");
    return nullptr;
  }
  SSL_CTX_set_verify(context.get(), SSL_VERIFY_PEER, nullptr);
  return context;
}

}  // namespace vantrel::cli
