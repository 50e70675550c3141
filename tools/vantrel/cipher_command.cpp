// vantrel cipher scramble|unscramble HEX
#include <cstdio>

#include "commands.h"
#include "hex.h"
#include "protocol/credential_cipher.h"

namespace vantrel::cli {

int runCipher(const CipherSettings& s) {
  auto bytes = parseHex(s.hex);
  if (!bytes) {
    const bool digitsOnly = s.hex.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
    return fail("cipher", "'" + s.hex + (digitsOnly ? "' has an odd number of hex digits: two make a byte"
                                                    : "' holds characters that are not hex digits (0-9, a-f)"));
  }
  if (bytes->empty()) return fail("cipher", "nothing to process: the input is empty");

  bytes->resize(CredentialCipher::roundedLength(bytes->size()), 0);
  std::vector<std::uint8_t> out(bytes->size());
  CredentialCipher cipher;
  if (s.direction == "scramble") {
    cipher.scramble(bytes->data(), out.data(), bytes->size());
  } else {
    cipher.unscramble(bytes->data(), out.data(), bytes->size());
  }
  std::printf("%s\n", toHex(out).c_str());
  return kExitOk;
}

}  // namespace vantrel::cli
