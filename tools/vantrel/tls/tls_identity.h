#pragma once
// The key and certificate a TLS server of ours shows (the console; the browser gateway too):
// files an administrator gives, or a key and a self-signed certificate made once and kept in
// the server's state folder, as ssh keeps its host keys. Viewers pin the key, so a kept one
// stays the same for as long as the file does.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/fingerprint.h"
#include "tls/openssl_handles.h"

namespace vantrel::cli {

struct TlsIdentity {
  EvpPkeyPtr key;
  X509Ptr certificate;
  std::vector<X509Ptr> chain;  // what follows the certificate in its file, towards a CA
};

// The certificate (with its chain after it) and the key from PEM files, which may be one file.
// A key file that every user may read is refused.
std::optional<TlsIdentity> loadIdentity(const std::string& certificateFile, const std::string& keyFile,
                                        std::string& error);

// FOLDER/NAME.pem with the key and the certificate in it: made on first use (a P-256 key, a
// certificate for this host's name, the file 0600 and a folder made 0700) and read after. A kept
// file that others may read is refused. Two servers starting at once keep one of them.
std::optional<TlsIdentity> keptIdentity(const std::filesystem::path& folder, std::string_view name,
                                        std::string& error);

// Where a server keeps its state unless told: /var/lib/vantrel for root, else
// $XDG_STATE_HOME/vantrel, by default ~/.local/state/vantrel.
std::filesystem::path defaultStateFolder();

// The SHA-256 digest of the certificate's SubjectPublicKeyInfo: what a pin names.
std::optional<Sha256Digest> publicKeyDigest(X509* certificate);

}  // namespace vantrel::cli
