// vantrel cipher scramble|unscramble HEX
#include <cstdio>

#include "commands.h"
#include "hex.h"
#include "protocol/credential_cipher.h"

namespace vantrel::cli {

int runCipher(const CipherSettings& s) {
  auto bytes = parseHex(s.hex);
  if (!bytes) return fail("cipher", "'" + s.hex + "' is not an even number of hex digits");
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
