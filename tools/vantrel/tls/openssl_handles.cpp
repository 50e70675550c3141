#include "tls/openssl_handles.h"

#include <openssl/err.h>

namespace vantrel::cli {

std::string openSslReason(const char* otherwise) {
  // The earliest error is the cause; later ones are the layers that passed it on.
  const unsigned long code = ERR_peek_error();
  ERR_clear_error();
  const char* reason = code != 0 ? ERR_reason_error_string(code) : nullptr;
  return reason != nullptr ? reason : otherwise;
}

}  // namespace vantrel::cli
