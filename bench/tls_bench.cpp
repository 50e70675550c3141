// What TLS adds to a dense 1024 x 768 update, the update of feed_bench's dense case (two pictures
// that differ in every pixel) as the console sends it: its bytes sealed with AES-256-GCM in 16 KiB
// records as TLS 1.3 does (and opened again, the viewer's part), and the same bytes sent over
// loopback through the plain socket and through TlsStream, side by side. Both ends of the
// loopback run in this process: its CPU time is what the two sides spend together.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <stdlib.h>

#include <atomic>
#include <filesystem>
#include <future>
#include <thread>
#include <vector>

#include "server/screen_feed.h"
#include "tls/tls_contexts.h"
#include "tls/tls_identity.h"
#include "tls/tls_stream.h"

namespace vantrel::cli {
namespace {

using namespace std::chrono_literals;

constexpr int kWidth = 1024;
constexpr int kHeight = 768;
constexpr std::size_t kRecord = 16384;

std::vector<std::uint8_t> denseUpdate() {
  const auto picture = [](auto pixel) {
    std::vector<std::uint8_t> rgb;
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const auto [r, g, b] = pixel(x, y);
        rgb.insert(rgb.end(), {static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(b)});
      }
    }
    return rgb;
  };
  const auto first = picture([](int x, int y) { return std::array{x & 255, y & 255, (x * y) & 255}; });
  const auto second = picture([](int x, int y) { return std::array{255 - (x & 255), (x + y) & 255, 128}; });
  auto feed = ScreenFeed::create(kWidth, kHeight);
  feed->setViewerDepth(16);
  feed->formatMessage();
  feed->updateFor(first, feed->screen());
  const ConsoleMessage* m = feed->updateFor(second, feed->screen());
  return {m->payload, m->payload + m->u32At(12)};
}

const std::vector<std::uint8_t>& update() {
  static const std::vector<std::uint8_t> bytes = denseUpdate();
  return bytes;
}

// Arg 0 seals, arg 1 opens what was sealed.
void aesGcm(benchmark::State& state) {
  const bool open = state.range(0) != 0;
  const auto& plain = update();
  std::vector<std::uint8_t> sealed(plain.size()), out(plain.size());
  std::array<std::uint8_t, 32> key{1, 2, 3};
  std::array<std::uint8_t, 12> nonce{};
  std::vector<std::array<std::uint8_t, 16>> tags((plain.size() + kRecord - 1) / kRecord);
  EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
  const auto run = [&](bool sealing, const std::vector<std::uint8_t>& in, std::vector<std::uint8_t>& to) {
    bool ok = true;
    for (std::size_t at = 0, record = 0; at < in.size(); at += kRecord, ++record) {
      nonce[11] = static_cast<std::uint8_t>(record);
      const int length = static_cast<int>(std::min(kRecord, in.size() - at));
      int written = 0;
      ok = ok && EVP_CipherInit_ex(context, EVP_aes_256_gcm(), nullptr, key.data(), nonce.data(), sealing ? 1 : 0) == 1;
      if (!sealing) EVP_CIPHER_CTX_ctrl(context, EVP_CTRL_GCM_SET_TAG, 16, tags[record].data());
      ok = ok && EVP_CipherUpdate(context, &to[at], &written, &in[at], length) == 1 &&
           EVP_CipherFinal_ex(context, &to[at] + written, &written) == 1;
      if (sealing) EVP_CIPHER_CTX_ctrl(context, EVP_CTRL_GCM_GET_TAG, 16, tags[record].data());
    }
    return ok;
  };
  if (!run(true, plain, sealed)) state.SkipWithError("AES-GCM failed");
  for (auto _ : state) {
    if (!(open ? run(false, sealed, out) : run(true, plain, out))) state.SkipWithError("AES-GCM failed");
  }
  EVP_CIPHER_CTX_free(context);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(plain.size()));
  state.counters["update_bytes"] = static_cast<double>(plain.size());
}
BENCHMARK(aesGcm)->Arg(0)->Arg(1)->ArgNames({"open"})->Unit(benchmark::kMicrosecond);

// Arg 0 sends over the plain socket, arg 1 inside TLS; a thread receives each update whole
// before the next is sent.
void overLoopback(benchmark::State& state) {
  const bool tls = state.range(0) != 0;
  NetSocket::startup();
  NetSocket listener, client;
  listener.createTcp();
  listener.bind(0, true);
  listener.listen();
  client.createTcp();
  client.connect("127.0.0.1", listener.localPort().value_or(0), 2000ms);
  const auto server = listener.accept(2000ms);
  std::unique_ptr<TlsStream> sending, receiving;
  SslContextPtr serverSide, clientSide;
  if (tls) {
    char folder[] = "/tmp/vantrel-bench-XXXXXX";
    std::string error;
    const auto identity = mkdtemp(folder) ? keptIdentity(folder, "bench", error) : std::nullopt;
    serverSide = identity ? serverContext(*identity, error) : nullptr;
    clientSide = clientContext(std::nullopt, error);
    std::filesystem::remove_all(folder);
    if (!serverSide || !clientSide) return state.SkipWithError(error.c_str());
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    TlsFailure failed;
    auto accepted = std::async(std::launch::async, [&] {
      TlsFailure f;
      return TlsStream::accept(*serverSide, *server, deadline, f);
    });
    receiving = TlsStream::connect(*clientSide, client, "127.0.0.1", deadline, failed);
    sending = accepted.get();
    if (!sending || !receiving) return state.SkipWithError("no TLS session");
  }
  ByteStream& out = tls ? static_cast<ByteStream&>(*sending) : *server;
  ByteStream& in = tls ? static_cast<ByteStream&>(*receiving) : client;
  const auto& bytes = update();
  std::atomic<std::int64_t> received{0};
  std::atomic<bool> done{false};
  std::thread receiver([&] {
    std::vector<std::uint8_t> buffer(bytes.size());
    while (!done && in.receiveExact(buffer)) received.fetch_add(1);
  });
  std::int64_t sent = 0;
  for (auto _ : state) {
    if (!out.sendExact(bytes)) {
      state.SkipWithError("the send failed");
      break;
    }
    ++sent;
    while (received.load() < sent) std::this_thread::yield();
  }
  done = true;
  out.shutdownBoth();
  in.shutdownBoth();
  receiver.join();
  state.SetBytesProcessed(sent * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(overLoopback)
    ->Arg(0)
    ->Arg(1)
    ->ArgNames({"tls"})
    ->Unit(benchmark::kMicrosecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

}  // namespace
}  // namespace vantrel::cli

BENCHMARK_MAIN();
