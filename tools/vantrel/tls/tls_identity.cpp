#include "tls/tls_identity.h"

#include <fcntl.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "catalog/whole_file.h"

namespace vantrel::cli {
namespace {

constexpr long kValidDays = 3650;

// Never ask on the terminal for a passphrase: a protected key is reported as unreadable.
int noPassphrase(char*, int, int, void*) { return 0; }

BioPtr memoryOf(const std::string& bytes) {
  return BioPtr(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
}

std::string hostName() {
  std::array<char, 256> name{};
  if (gethostname(name.data(), name.size() - 1) != 0 || name[0] == '\0') return "vantrel";
  return name.data();
}

bool addExtension(X509* certificate, int nid, const std::string& value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
  const bool added = extension != nullptr && X509_add_ext(certificate, extension, -1) == 1;
  X509_EXTENSION_free(extension);
  return added;
}

std::optional<TlsIdentity> madeIdentity(std::string& error) {
  TlsIdentity made{EvpPkeyPtr(EVP_EC_gen("P-256")), X509Ptr(X509_new()), {}};
  X509* c = made.certificate.get();
  std::array<unsigned char, 16> serial{};
  const std::string name = hostName();
  bool ok = made.key && c && RAND_bytes(serial.data(), serial.size()) == 1;
  if (ok) {
    serial[0] &= 0x7F;  // a positive number
    BIGNUM* number = BN_bin2bn(serial.data(), serial.size(), nullptr);
    ok = number != nullptr && BN_to_ASN1_INTEGER(number, X509_get_serialNumber(c)) != nullptr;
    BN_free(number);
  }
  X509_NAME* subject = ok ? X509_get_subject_name(c) : nullptr;
  ok = ok && X509_set_version(c, X509_VERSION_3) == 1 &&
       X509_gmtime_adj(X509_getm_notBefore(c), -24L * 3600) != nullptr &&  // clocks that lag a little
       X509_gmtime_adj(X509_getm_notAfter(c), kValidDays * 24 * 3600) != nullptr &&
       X509_set_pubkey(c, made.key.get()) == 1 &&
       X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(name.c_str()),
                                  -1, -1, 0) == 1 &&
       X509_set_issuer_name(c, subject) == 1 && addExtension(c, NID_basic_constraints, "critical,CA:FALSE") &&
       addExtension(c, NID_key_usage, "critical,digitalSignature") &&
       addExtension(c, NID_ext_key_usage, "serverAuth") && addExtension(c, NID_subject_alt_name, "DNS:" + name) &&
       X509_sign(c, made.key.get(), EVP_sha256()) > 0;
  if (!ok) {
    error = "cannot make a key and certificate: " + openSslReason("OpenSSL failed");
    return std::nullopt;
  }
  return made;
}

std::optional<std::string> pemOf(const TlsIdentity& identity) {
  BioPtr out(BIO_new(BIO_s_mem()));
  if (!out || PEM_write_bio_PrivateKey(out.get(), identity.key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1 ||
      PEM_write_bio_X509(out.get(), identity.certificate.get()) != 1) {
    return std::nullopt;
  }
  char* bytes = nullptr;
  const long length = BIO_get_mem_data(out.get(), &bytes);
  return std::string(bytes, static_cast<std::size_t>(length));
}

// Writes the file whole under another name and links it into place, which fails when the file
// is there already: a server that starts at the same moment keeps the one that came first.
bool keepNew(const std::filesystem::path& path, const std::string& pem, std::string& error) {
  std::string scratch = path.string() + ".XXXXXX";
  const int fd = mkstemp(scratch.data());  // 0600
  bool written = fd >= 0 && ::write(fd, pem.data(), pem.size()) == static_cast<ssize_t>(pem.size()) && fsync(fd) == 0;
  int saved = errno;
  if (fd >= 0) ::close(fd);
  if (written && ::link(scratch.c_str(), path.c_str()) != 0 && errno != EEXIST) {
    written = false;
    saved = errno;
  }
  if (fd >= 0) ::unlink(scratch.c_str());
  if (!written) error = "cannot keep a new key in '" + path.string() + "': " + std::strerror(saved);
  return written;
}

// Refuses a key that more users may read than `allowed` lets.
bool privateEnough(const std::string& path, mode_t allowed, std::string& error) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    error = "cannot read '" + path + "': " + std::strerror(errno);
    return false;
  }
  if ((status.st_mode & 0777 & ~allowed) == 0) return true;
  char mode[8];
  std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(status.st_mode & 0777));
  error = "the key in '" + path + "' can be read by other users (mode " + mode + "); make it private with chmod 600";
  return false;
}

}  // namespace

std::optional<TlsIdentity> loadIdentity(const std::string& certificateFile, const std::string& keyFile,
                                        std::string& error) {
  if (!privateEnough(keyFile, 0770, error)) return std::nullopt;
  const auto certificates = readWholeFile(certificateFile);
  const auto key = readWholeFile(keyFile);
  if (!certificates || !key) {
    error = "cannot read '" + (certificates ? keyFile : certificateFile) + "': " + std::strerror(errno);
    return std::nullopt;
  }
  TlsIdentity identity;
  BioPtr keyBio = memoryOf(*key);
  identity.key.reset(PEM_read_bio_PrivateKey(keyBio.get(), nullptr, noPassphrase, nullptr));
  if (!identity.key) {
    error = "no usable private key in '" + keyFile + "' (" + openSslReason("none found") + ")";
    return std::nullopt;
  }
  BioPtr certificateBio = memoryOf(*certificates);
  identity.certificate.reset(PEM_read_bio_X509(certificateBio.get(), nullptr, noPassphrase, nullptr));
  while (identity.certificate) {
    X509Ptr next(PEM_read_bio_X509(certificateBio.get(), nullptr, noPassphrase, nullptr));
    if (!next) break;
    identity.chain.push_back(std::move(next));
  }
  ERR_clear_error();  // the end of the file is reported as an error too
  if (!identity.certificate) {
    error = "no certificate in '" + certificateFile + "'";
    return std::nullopt;
  }
  if (X509_check_private_key(identity.certificate.get(), identity.key.get()) != 1) {
    ERR_clear_error();
    error = "the key in '" + keyFile + "' is not the key of the certificate in '" + certificateFile + "'";
    return std::nullopt;
  }
  return identity;
}

std::optional<TlsIdentity> keptIdentity(const std::filesystem::path& folder, std::string_view name,
                                        std::string& error) {
  const std::filesystem::path path = folder / (std::string(name) + ".pem");
  std::error_code failed;
  if (!std::filesystem::exists(path, failed)) {
    if (!std::filesystem::exists(folder, failed)) {
      std::filesystem::create_directories(folder, failed);
      if (!failed) std::filesystem::permissions(folder, std::filesystem::perms::owner_all, failed);
      if (failed) {
        error = "cannot make the folder '" + folder.string() + "': " + failed.message();
        return std::nullopt;
      }
    }
    const auto made = madeIdentity(error);
    const auto pem = made ? pemOf(*made) : std::nullopt;
    if (made && !pem) error = "cannot write the new key: " + openSslReason("OpenSSL failed");
    if (!pem || !keepNew(path, *pem, error)) return std::nullopt;
  }
  if (!privateEnough(path.string(), 0700, error)) return std::nullopt;
  return loadIdentity(path.string(), path.string(), error);
}

std::filesystem::path defaultStateFolder() {
  if (geteuid() == 0) return "/var/lib/vantrel";
  const char* state = std::getenv("XDG_STATE_HOME");
  const char* home = std::getenv("HOME");
  if (state != nullptr && state[0] == '/') return std::filesystem::path(state) / "vantrel";
  return std::filesystem::path(home != nullptr ? home : ".") / ".local" / "state" / "vantrel";
}

std::optional<Sha256Digest> publicKeyDigest(X509* certificate) {
  unsigned char* der = nullptr;
  const int length = certificate != nullptr ? i2d_X509_PUBKEY(X509_get_X509_PUBKEY(certificate), &der) : 0;
  Sha256Digest digest{};
  unsigned int size = 0;
  const bool hashed = length > 0 && EVP_Digest(der, static_cast<std::size_t>(length), digest.data(), &size,
                                                EVP_sha256(), nullptr) == 1 && size == digest.size();
  OPENSSL_free(der);
  if (!hashed) return std::nullopt;
  return digest;
}

}  // namespace vantrel::cli
