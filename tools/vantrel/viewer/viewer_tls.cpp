#include "viewer/viewer_tls.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "tls/tls_contexts.h"
#include "tls/shown_key.h"
#include "tls/tls_stream.h"

namespace vantrel::cli {
std::unique_ptr<ViewerTls> ViewerTls::create(const char* command, const ViewerTlsSettings& settings,
                                             std::uint16_t port, std::string& error) {
  const bool byKeys = settings.knownConsoles || settings.acceptNew;
  if ((settings.caFile && (settings.fingerprint || byKeys)) || (settings.fingerprint && byKeys)) {
    error = "--tls-ca, --tls-fingerprint and the known consoles (--known-consoles, --accept-new) are three ways "
            "to trust a console: choose one";
    return nullptr;
  }
  TrustPolicy policy;
  if (settings.fingerprint && !(policy.pin = parseFingerprint(*settings.fingerprint))) {
    error = "--tls-fingerprint takes a key as the console prints it: SHA256: and 43 characters";
    return nullptr;
  }
  SslContextPtr context = clientContext(settings.caFile, error);
  if (!context) return nullptr;
  KnownConsolesFile known(settings.knownConsoles ? std::filesystem::path(*settings.knownConsoles)
                                                 : KnownConsolesFile::defaultPath());
  policy.acceptNew = settings.acceptNew;
  policy.canAsk = isatty(STDIN_FILENO) != 0;
  policy.knownFile = known.path().string();
  return std::unique_ptr<ViewerTls>(
      new ViewerTls(command, std::move(context), settings.caFile.has_value(), std::move(policy), std::move(known), port));
}

ViewerTls::ViewerTls(const char* command, SslContextPtr context, bool checkedByCa, TrustPolicy policy,
                     KnownConsolesFile known, std::uint16_t port)
    : command_(command),
      context_(std::move(context)),
      checkedByCa_(checkedByCa),
      policy_(std::move(policy)),
      known_(std::move(known)),
      port_(port) {}

void ViewerTls::attach(ConsoleLinkOptions& options) {
  options.secureChannel = [this](NetSocket& connected, const std::string& host,
                                 std::chrono::steady_clock::time_point deadline) {
    return secure(connected, host, deadline);
  };
}

std::unique_ptr<ByteStream> ViewerTls::fail(Failure failure, std::string text) {
  failure_ = failure;
  failureText_ = std::move(text);
  return nullptr;
}

std::unique_ptr<ByteStream> ViewerTls::secure(NetSocket& connected, const std::string& host,
                                              std::chrono::steady_clock::time_point deadline) {
  const std::string console = host + ":" + std::to_string(port_);
  failure_ = Failure::None;
  TlsFailure refused;
  auto stream = TlsStream::connect(*context_, connected, host, deadline, refused);
  if (!stream) {
    return fail(refused.certificateRefused ? Failure::Untrusted : Failure::NoSession,
                "no TLS session with the console at " + console + ": " + refused.reason);
  }
  if (checkedByCa_) return stream;  // the handshake checked the chain and the name
  const ShownKey shown = checkShownKey(stream->peerCertificate(), host, port_, policy_, known_);
  switch (shown.decision.verdict) {
    case Verdict::Accept:
      if (!shown.decision.text.empty()) std::fprintf(stderr, "vantrel %s: %s\n", command_, shown.decision.text.c_str());
      return stream;
    case Verdict::Ask:
      host_ = host;
      shown_ = shown.key;
      return fail(Failure::NotKnown, shown.decision.text);
    case Verdict::Remember:
    case Verdict::Refuse: break;
  }
  return fail(Failure::Untrusted, shown.decision.text);
}

bool ViewerTls::askAndRemember() {
  std::fprintf(stderr, "vantrel %s: %s\n", command_, failureText_.c_str());
  for (int asked = 0; asked < 3; ++asked) {
    std::fputs(trustQuestion(policy_).c_str(), stderr);
    std::fflush(stderr);
    std::string line;
    if (!std::getline(std::cin, line)) return false;
    const auto answer = readTrustAnswer(line, shown_);
    if (!answer) {
      std::fputs("Please answer yes or no, or paste the key.\n", stderr);
      continue;
    }
    std::string error;
    if (*answer && !known_.add(host_, port_, shown_, error)) {
      std::fprintf(stderr, "vantrel %s: %s\n", command_, error.c_str());
      return false;
    }
    return *answer;
  }
  return false;
}

}  // namespace vantrel::cli
