// vantrel cipher scramble|unscramble HEX
#include <cstdio>

#include "commands.h"
#include "hex.h"
#include "protocol/credential_cipher.h"

namespace vantrel::cli {

int runCipher(Args args) {
  if (args.size() != 2 || (args[0] != "scramble" && args[0] != "unscramble")) {
    return fail("cipher", "usage: vantrel cipher scramble|unscramble HEX");
  }
  auto bytes = parseHex(args[1]);
  if (!bytes) return fail("cipher", "'" + args[1] + "' is not an even number of hex digits");
  if (bytes->empty()) return fail("cipher", "nothing to process: the input is empty");

  bytes->resize(CredentialCipher::roundedLength(bytes->size()), 0);
  std::vector<std::uint8_t> out(bytes->size());
  CredentialCipher cipher;
  if (args[0] == "scramble") {
    cipher.scramble(bytes->data(), out.data(), bytes->size());
  } else {
    cipher.unscramble(bytes->data(), out.data(), bytes->size());
  }
  std::printf("%s\n", toHex(out).c_str());
  return 0;
}

}  // namespace vantrel::cli
