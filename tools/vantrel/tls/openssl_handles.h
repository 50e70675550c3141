#pragma once
// OpenSSL's objects owned the RAII way, freed by their own free functions.

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <memory>
#include <string>

namespace vantrel::cli {

template <auto Free>
struct OpenSslFree {
  template <typename T>
  void operator()(T* object) const {
    Free(object);
  }
};

using SslContextPtr = std::unique_ptr<SSL_CTX, OpenSslFree<SSL_CTX_free>>;
using SslPtr = std::unique_ptr<SSL, OpenSslFree<SSL_free>>;
using X509Ptr = std::unique_ptr<X509, OpenSslFree<X509_free>>;
using EvpPkeyPtr = std::unique_ptr<EVP_PKEY, OpenSslFree<EVP_PKEY_free>>;
using BioPtr = std::unique_ptr<BIO, OpenSslFree<BIO_free_all>>;

// OpenSSL's reason for the latest failure on this thread, in words ("certificate verify
// failed"), and the thread's error queue emptied; `otherwise` when it holds none.
std::string openSslReason(const char* otherwise);

}  // namespace vantrel::cli
