// SChannel's client loop: InitializeSecurityContext until the handshake is done, then one
// EncryptMessage per record out and DecryptMessage record by record in. The console's bytes are
// read as they come, as many as fit, into one buffer of fixed size; every record header in it
// is checked before SChannel sees it.

#define SECURITY_WIN32
#define SCHANNEL_USE_BLACKLISTS  // SCH_CREDENTIALS: the form of the credentials that reaches TLS 1.3
#include <winsock2.h>
#include <windows.h>
#include <security.h>
#include <schannel.h>
#include <wincrypt.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>

#include "net/schannel_stream.h"
#include "net/tls_checks.h"

namespace vantrel {
namespace {

using Clock = std::chrono::steady_clock;
using Deadline = std::optional<Clock::time_point>;
using Failure = std::optional<std::string>;

// The console's bytes that may wait for SChannel at once, and all it may send in one handshake.
// A certificate chain fits many times over; a console that keeps announcing more is cut off,
// whether the bytes wait here or inside SChannel (Wine's keeps them).
constexpr std::size_t kMaxPending = 64 * 1024;
constexpr std::size_t kMaxHandshake = 64 * 1024;

constexpr DWORD kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM | ISC_REQ_EXTENDED_ERROR;
// No client certificate, and no judgement of the console's certificate by the system: the pin
// decides.
constexpr DWORD kCredentialFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;

std::string statusText(SECURITY_STATUS status) {
  char code[16] = {};
  std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(status));
  std::string text = code;
  char* message = nullptr;
  if (FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, static_cast<DWORD>(status), 0, reinterpret_cast<char*>(&message), 0, nullptr) > 0) {
    std::string words = message;
    while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == ' ')) words.pop_back();
    text += " (" + words + ")";
  }
  if (message != nullptr) LocalFree(message);
  return text;
}

// Windows 10 1809 and later take SCH_CREDENTIALS and with it TLS 1.3; earlier systems only the
// older form, which cannot name TLS 1.3. Either way the negotiated version is checked afterwards,
// since not every SChannel keeps to the protocols it is given.
SECURITY_STATUS acquireCredentials(CredHandle& credentials) {
  char package[] = UNISP_NAME_A;
  TLS_PARAMETERS parameters{};
  parameters.grbitDisabledProtocols = ~static_cast<DWORD>(SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT);
  SCH_CREDENTIALS current{};
  current.dwVersion = SCH_CREDENTIALS_VERSION;
  current.dwFlags = kCredentialFlags;
  current.cTlsParameters = 1;
  current.pTlsParameters = &parameters;
  if (AcquireCredentialsHandleA(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr, &current, nullptr, nullptr,
                                &credentials, nullptr) == SEC_E_OK) {
    return SEC_E_OK;
  }
  SCHANNEL_CRED older{};
  older.dwVersion = SCHANNEL_CRED_VERSION;
  older.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
  older.dwFlags = kCredentialFlags;
  return AcquireCredentialsHandleA(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr, &older, nullptr, nullptr,
                                   &credentials, nullptr);
}

TlsVersion versionOf(DWORD protocol) {
  if ((protocol & SP_PROT_TLS1_3_CLIENT) != 0) return TlsVersion::Tls13;
  if ((protocol & SP_PROT_TLS1_2_CLIENT) != 0) return TlsVersion::Tls12;
  if ((protocol & SP_PROT_TLS1_1_CLIENT) != 0) return TlsVersion::Tls11;
  if ((protocol & SP_PROT_TLS1_0_CLIENT) != 0) return TlsVersion::Tls10;
  if ((protocol & SP_PROT_SSL3_CLIENT) != 0) return TlsVersion::Ssl3;
  return TlsVersion::Unknown;
}

// SHA-256 of the certificate's SubjectPublicKeyInfo, as the console's fingerprint names it.
std::optional<Sha256Digest> keyDigest(const CERT_CONTEXT& certificate) {
  BYTE* encoded = nullptr;
  DWORD size = 0;
  if (!CryptEncodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, &certificate.pCertInfo->SubjectPublicKeyInfo,
                           CRYPT_ENCODE_ALLOC_FLAG, nullptr, &encoded, &size)) {
    return std::nullopt;
  }
  Sha256Digest digest{};
  DWORD length = static_cast<DWORD>(digest.size());
  const bool hashed = CryptHashCertificate2(L"SHA256", 0, nullptr, encoded, size, digest.data(), &length) &&
                      length == digest.size();
  LocalFree(encoded);
  if (!hashed) return std::nullopt;
  return digest;
}

// The console's bytes that SChannel has not taken yet, from a record's start, in a buffer of
// fixed size. What SChannel leaves over (its EXTRA buffer) stays where it is; it moves to the
// front only when more must be read.
class Inbox {
 public:
  std::span<std::uint8_t> pending() { return std::span(bytes_).subspan(start_, end_ - start_); }
  bool empty() const { return start_ == end_; }
  // SChannel took pending() up to the bytes an EXTRA buffer counts (its pointer is not to be
  // relied on, only its count), or all of it.
  void keepExtra(const SecBuffer* extra) {
    const std::size_t left = extra != nullptr && extra->BufferType == SECBUFFER_EXTRA ? extra->cbBuffer : 0;
    start_ = end_ - std::min(left, end_ - start_);
  }
  // Where more can be read: empty when the buffer is full.
  std::span<std::uint8_t> room() {
    if (start_ > 0) {
      std::memmove(bytes_.data(), bytes_.data() + start_, end_ - start_);
      end_ -= start_;
      start_ = 0;
    }
    return std::span(bytes_).subspan(end_);
  }
  void grew(std::size_t count) { end_ += count; }

 private:
  std::vector<std::uint8_t> bytes_ = std::vector<std::uint8_t>(kMaxPending);
  std::size_t start_ = 0, end_ = 0;
};

class SchannelStream final : public ByteStream {
 public:
  SchannelStream(NetSocket& socket, const std::string& host, const Sha256Digest& pin)
      : socket_(socket), host_(host), pin_(pin) {}
  ~SchannelStream() override {
    if (haveContext_) DeleteSecurityContext(&context_);
    if (haveCredentials_) FreeCredentialsHandle(&credentials_);
  }
  SchannelStream(const SchannelStream&) = delete;
  SchannelStream& operator=(const SchannelStream&) = delete;

  Failure handshake(Clock::time_point deadline);

  bool sendExact(std::span<const std::uint8_t> data) override;
  bool receiveExact(std::span<std::uint8_t> buffer) override { return receive(buffer, std::nullopt); }
  bool receiveExact(std::span<std::uint8_t> buffer, Clock::time_point deadline) override {
    return receive(buffer, deadline);
  }
  bool isAlive() const override { return alive_ && socket_.isAlive(); }
  void markDead() override {
    alive_ = false;
    socket_.markDead();  // ends the socket's waits for a deadline soon
  }
  bool shutdownBoth() override;

 private:
  Failure negotiate(Deadline deadline);
  Failure step(SECURITY_STATUS& status);
  Failure verify();
  Failure readMore(Deadline deadline);
  bool sendRaw(std::span<const std::uint8_t> bytes);
  bool receive(std::span<std::uint8_t> buffer, Deadline deadline);
  bool decryptNext(Deadline deadline);
  bool takeRenegotiation(Deadline deadline);
  void sendCloseNotify();

  NetSocket& socket_;
  std::string host_;
  Sha256Digest pin_;
  CredHandle credentials_{};
  CtxtHandle context_{};
  bool haveCredentials_ = false;
  bool haveContext_ = false;
  SecPkgContext_StreamSizes sizes_{};
  TlsVersion version_ = TlsVersion::Unknown;
  // Every call on the context: the window thread encrypts while the receive thread decrypts.
  std::mutex sspiMutex_;
  // One record or handshake token on the wire at a time; taken before sspiMutex_, never after.
  std::mutex sendMutex_;
  Inbox inbox_;
  // Decrypted and not yet handed up: in place in the inbox, before what SChannel left over,
  // where nothing is read until it has all been handed up.
  std::span<const std::uint8_t> plain_;
  std::vector<std::uint8_t> record_;    // one record of ours, being encrypted
  std::atomic<bool> alive_{true};
};

Failure SchannelStream::handshake(Clock::time_point deadline) {
  if (const SECURITY_STATUS status = acquireCredentials(credentials_); status != SEC_E_OK) {
    return "SChannel has no TLS client for us: " + statusText(status);
  }
  haveCredentials_ = true;
  if (auto failure = negotiate(deadline)) return failure;
  if (auto failure = verify()) return failure;
  if (QueryContextAttributesA(&context_, SECPKG_ATTR_STREAM_SIZES, &sizes_) != SEC_E_OK ||
      sizes_.cbMaximumMessage == 0) {
    return std::string("SChannel gave no record sizes");
  }
  record_.resize(std::size_t{sizes_.cbHeader} + sizes_.cbMaximumMessage + sizes_.cbTrailer);
  return std::nullopt;
}

Failure SchannelStream::negotiate(Deadline deadline) {
  std::size_t received = 0;
  for (;;) {
    SECURITY_STATUS status = SEC_E_OK;
    if (auto failure = step(status)) return failure;
    switch (status) {
      case SEC_E_OK: return std::nullopt;
      case SEC_I_CONTINUE_NEEDED:
        if (!inbox_.empty()) continue;  // records SChannel has not looked at yet
        [[fallthrough]];
      case SEC_E_INCOMPLETE_MESSAGE: {
        const std::size_t before = inbox_.pending().size();
        if (auto failure = readMore(deadline)) return failure;
        received += inbox_.pending().size() - before;
        if (received > kMaxHandshake) {
          return "the console's handshake runs past " + std::to_string(kMaxHandshake) + " bytes";
        }
        continue;
      }
      case SEC_I_INCOMPLETE_CREDENTIALS: return std::string("the console asks for a client certificate");
      default: return "the TLS handshake failed: " + statusText(status);
    }
  }
}

// One call of InitializeSecurityContext on what the console sent so far; its token (or, on a
// failure, the alert that says why) goes to the console.
Failure SchannelStream::step(SECURITY_STATUS& status) {
  const auto input = inbox_.pending();
  SecBuffer in[2] = {{static_cast<unsigned long>(input.size()), SECBUFFER_TOKEN, input.data()},
                     {0, SECBUFFER_EMPTY, nullptr}};
  SecBufferDesc inDesc{SECBUFFER_VERSION, 2, in};
  SecBuffer out{0, SECBUFFER_TOKEN, nullptr};
  SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &out};
  ULONG attributes = 0;
  {
    const std::lock_guard lock(sspiMutex_);
    status = InitializeSecurityContextA(&credentials_, haveContext_ ? &context_ : nullptr, host_.data(), kContextFlags,
                                        0, 0, haveContext_ ? &inDesc : nullptr, 0, &context_, &outDesc, &attributes,
                                        nullptr);
    if (!haveContext_ && (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED)) haveContext_ = true;
  }
  bool sent = true;
  if (out.pvBuffer != nullptr) {
    sent = sendRaw({static_cast<const std::uint8_t*>(out.pvBuffer), out.cbBuffer});
    FreeContextBuffer(out.pvBuffer);
  }
  if (status != SEC_E_INCOMPLETE_MESSAGE) inbox_.keepExtra(&in[1]);
  if (!sent && !FAILED(status)) return std::string("the connection failed while the handshake was sent");
  return std::nullopt;
}

Failure SchannelStream::verify() {
  SecPkgContext_ConnectionInfo info{};
  PCCERT_CONTEXT certificate = nullptr;
  {
    const std::lock_guard lock(sspiMutex_);
    if (QueryContextAttributesA(&context_, SECPKG_ATTR_CONNECTION_INFO, &info) != SEC_E_OK) {
      return std::string("SChannel does not say which TLS version it negotiated");
    }
    if (QueryContextAttributesA(&context_, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate) != SEC_E_OK) {
      certificate = nullptr;
    }
  }
  version_ = versionOf(info.dwProtocol);
  if (auto refusal = checkTlsVersion(version_)) {
    if (certificate != nullptr) CertFreeCertificateContext(certificate);
    return refusal;
  }
  if (certificate == nullptr) return std::string("the console presented no certificate");
  const auto digest = keyDigest(*certificate);
  CertFreeCertificateContext(certificate);
  if (!digest) return std::string("the console's key could not be read from its certificate");
  return checkPinnedKey(pin_, *digest);
}

// Appends what the console has sent: at least a byte, as many as have come and fit.
Failure SchannelStream::readMore(Deadline deadline) {
  const auto room = inbox_.room();
  if (room.empty()) {
    return "the console's records pile up past " + std::to_string(kMaxPending) + " bytes without completing";
  }
  const std::ptrdiff_t got = deadline ? socket_.receiveSome(room, *deadline) : socket_.receive(room);
  if (got <= 0) {
    if (deadline && Clock::now() >= *deadline) return std::string("the console did not answer in time");
    return std::string("the connection ended (closed by the console, or failed)");
  }
  inbox_.grew(static_cast<std::size_t>(got));
  return checkTlsRecords(inbox_.pending());
}

bool SchannelStream::sendRaw(std::span<const std::uint8_t> bytes) {
  const std::lock_guard lock(sendMutex_);
  return socket_.sendExact(bytes);
}

bool SchannelStream::sendExact(std::span<const std::uint8_t> data) {
  const std::lock_guard lock(sendMutex_);
  while (!data.empty()) {
    const std::size_t part = std::min<std::size_t>(data.size(), sizes_.cbMaximumMessage);
    std::uint8_t* const start = record_.data();
    std::memcpy(start + sizes_.cbHeader, data.data(), part);
    SecBuffer buffers[4] = {{sizes_.cbHeader, SECBUFFER_STREAM_HEADER, start},
                            {static_cast<unsigned long>(part), SECBUFFER_DATA, start + sizes_.cbHeader},
                            {sizes_.cbTrailer, SECBUFFER_STREAM_TRAILER, start + sizes_.cbHeader + part},
                            {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
    SECURITY_STATUS status;
    {
      const std::lock_guard sspi(sspiMutex_);
      status = EncryptMessage(&context_, 0, &desc, 0);
    }
    const std::size_t total = std::size_t{buffers[0].cbBuffer} + buffers[1].cbBuffer + buffers[2].cbBuffer;
    if (status != SEC_E_OK || total > record_.size() || !socket_.sendExact({start, total})) {
      markDead();
      return false;
    }
    data = data.subspan(part);
  }
  return true;
}

bool SchannelStream::receive(std::span<std::uint8_t> buffer, Deadline deadline) {
  while (!buffer.empty()) {
    if (plain_.empty() && !decryptNext(deadline)) {
      markDead();
      return false;
    }
    const std::size_t part = std::min(buffer.size(), plain_.size());
    std::memcpy(buffer.data(), plain_.data(), part);
    plain_ = plain_.subspan(part);
    buffer = buffer.subspan(part);
  }
  return true;
}

// The next record with data in it, decrypted into plain_. False when the console closed the
// session (its close_notify), the link failed, or a record did not decrypt.
bool SchannelStream::decryptNext(Deadline deadline) {
  for (;;) {
    if (inbox_.empty() && readMore(deadline).has_value()) return false;
    const auto input = inbox_.pending();
    SecBuffer buffers[4] = {{static_cast<unsigned long>(input.size()), SECBUFFER_DATA, input.data()},
                            {0, SECBUFFER_EMPTY, nullptr},
                            {0, SECBUFFER_EMPTY, nullptr},
                            {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
    SECURITY_STATUS status;
    {
      const std::lock_guard lock(sspiMutex_);
      status = DecryptMessage(&context_, &desc, 0, nullptr);
    }
    if (status == SEC_E_INCOMPLETE_MESSAGE) {
      if (readMore(deadline).has_value()) return false;
      continue;
    }
    // Decrypted in place: a header, the data, a trailer, and what SChannel left over.
    const auto find = [&buffers](unsigned long type) -> const SecBuffer* {
      for (const SecBuffer& b : buffers) {
        if (b.BufferType == type) return &b;
      }
      return nullptr;
    };
    inbox_.keepExtra(find(SECBUFFER_EXTRA));
    if (status == SEC_I_RENEGOTIATE) {  // a handshake record: no data
      if (!takeRenegotiation(deadline)) return false;
      continue;
    }
    const SecBuffer* data = find(SECBUFFER_DATA);
    if (status != SEC_E_OK || data == nullptr) return false;
    if (data->cbBuffer == 0) continue;  // an empty record
    const auto at = reinterpret_cast<std::uintptr_t>(data->pvBuffer) - reinterpret_cast<std::uintptr_t>(input.data());
    if (data->cbBuffer > input.size() || at > input.size() - data->cbBuffer) return false;  // not decrypted in place
    plain_ = input.subspan(at, data->cbBuffer);
    return true;
  }
}

// TLS 1.3 sends tickets and key updates after the handshake, which SChannel reports as a
// renegotiation and hands to the handshake steps. In TLS 1.2 a renegotiation could bring another
// certificate in the middle of the session; a console of ours never asks for one, so it ends the
// link. Either way the key must still be the pinned one afterwards.
bool SchannelStream::takeRenegotiation(Deadline deadline) {
  if (version_ != TlsVersion::Tls13) return false;
  if (inbox_.empty() && readMore(deadline).has_value()) return false;
  return !negotiate(deadline).has_value() && !verify().has_value();
}

bool SchannelStream::shutdownBoth() {
  markDead();
  // An orderly end (a close_notify) where no send is under way; one that is ends with the socket.
  if (std::unique_lock lock(sendMutex_, std::try_to_lock); lock && haveContext_) sendCloseNotify();
  return socket_.shutdownBoth();
}

void SchannelStream::sendCloseNotify() {
  DWORD type = SCHANNEL_SHUTDOWN;
  SecBuffer control{sizeof type, SECBUFFER_TOKEN, &type};
  SecBufferDesc controlDesc{SECBUFFER_VERSION, 1, &control};
  SecBuffer out{0, SECBUFFER_TOKEN, nullptr};
  SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &out};
  ULONG attributes = 0;
  SECURITY_STATUS status;
  {
    const std::lock_guard lock(sspiMutex_);
    if (ApplyControlToken(&context_, &controlDesc) != SEC_E_OK) return;
    status = InitializeSecurityContextA(&credentials_, &context_, host_.data(), kContextFlags, 0, 0, nullptr, 0,
                                        &context_, &outDesc, &attributes, nullptr);
  }
  if (out.pvBuffer == nullptr) return;
  if (!FAILED(status)) {
    socket_.setSendTimeout(1000);  // a console that reads nothing more must not hold the caller
    socket_.sendExact({static_cast<const std::uint8_t*>(out.pvBuffer), out.cbBuffer});
  }
  FreeContextBuffer(out.pvBuffer);
}

}  // namespace

SecureChannel openSchannelStream(NetSocket& socket, const std::string& host, Clock::time_point deadline,
                                 const Sha256Digest& pin) {
  auto stream = std::make_unique<SchannelStream>(socket, host, pin);
  if (auto failure = stream->handshake(deadline)) return {nullptr, std::move(*failure)};
  return {std::move(stream), {}};
}

}  // namespace vantrel
