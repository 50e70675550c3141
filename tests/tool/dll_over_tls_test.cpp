// consoleclient.dll in the sample host under Wine, against `vantrel console --tls`: with the
// console's fingerprint pinned the host shows the console's picture, and a console with another
// key, or one that offers less than TLS 1.2, is refused with the usual box while the trace file
// says why. It needs Wine ready (scripts/with-wine) and VANTREL_WIN64_BIN naming the win64
// programs; scripts/test runs it that way, and it is skipped anywhere else.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>

#include "png_image.h"
#include "protocol/byte_io.h"
#include "support/temp_dir.h"
#include "tool/console_harness.h"
#include "tool/tool_process.h"
#include "tool/x_painter.h"

namespace vantrel::cli {
namespace {

using namespace std::chrono_literals;

constexpr const char* kRefusedText = "No connection to the console.";

// The same folder as Wine's programs see it.
std::string windowsPath(const std::filesystem::path& path) {
  std::string text = "Z:" + path.string();
  for (char& c : text) c = c == '/' ? '\\' : c;
  return text;
}

// The viewer's client area as the sample host saved it: 24-bit rows, bottom-up.
std::optional<RgbImage> loadBmp(const std::string& file) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(file.data());
  if (file.size() < 54 || file.compare(0, 2, "BM") != 0) return std::nullopt;
  RgbImage image{static_cast<int>(loadU32le(bytes + 18)), static_cast<int>(loadU32le(bytes + 22)), {}};
  const auto width = static_cast<std::size_t>(image.width), height = static_cast<std::size_t>(image.height);
  const std::size_t stride = (width * 3 + 3) & ~std::size_t{3}, start = loadU32le(bytes + 10);
  if (image.width <= 0 || image.height <= 0 || file.size() < start + stride * height) return std::nullopt;
  for (std::size_t y = 0; y < height; ++y) {
    const std::uint8_t* row = bytes + start + (height - 1 - y) * stride;
    for (std::size_t x = 0; x < width; ++x) image.rgb.insert(image.rgb.end(), {row[x * 3 + 2], row[x * 3 + 1], row[x * 3]});
  }
  return image;
}

RgbImage topLeft(const RgbImage& image, int width, int height) {
  RgbImage part{width, height, {}};
  for (int y = 0; y < height; ++y) {
    const auto row = image.rgb.begin() + static_cast<std::ptrdiff_t>(y) * image.width * 3;
    part.rgb.insert(part.rgb.end(), row, row + width * 3);
  }
  return part;
}

class DllOverTlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* bin = std::getenv("VANTREL_WIN64_BIN");
    if (bin == nullptr || std::getenv("WINEPREFIX") == nullptr) {
      GTEST_SKIP() << "needs Wine and the win64 build: scripts/with-wine with VANTREL_WIN64_BIN set";
    }
    bin_ = bin;
    // The DLL connects to port 25000 only, so the console gets a loopback address of its own.
    std::random_device random;
    address_ = "127.88." + std::to_string(random() % 250 + 1) + "." + std::to_string(random() % 250 + 1);
    addAccount(dir.path() / "accounts", "operator", "secret");
    ASSERT_TRUE(savePng((dir.path() / "picture.png").string(), picture, error)) << error;
  }
  void TearDown() override {
    if (serverPid_ > 0) kill(serverPid_, SIGKILL);
  }

  // `vantrel console --tls` serving the picture; its fingerprint once it listens.
  std::string startConsole() {
    console_ = std::make_unique<ToolProcess>(
        std::vector<std::string>{"console", "--tls", "--state-dir", (dir.path() / "state").string(), "--listen",
                                 address_, "--port", "25000", "--allow-local", "--accounts",
                                 (dir.path() / "accounts").string(), "--source", (dir.path() / "picture.png").string()},
        std::vector<std::string>{}, dir.path() / "console.log");
    for (int i = 0; i < 200; ++i) {
      const std::string log = consoleLog();
      const auto at = log.find("SHA256:");
      if (log.find("listening on") != std::string::npos && at != std::string::npos) return log.substr(at, 50);
      std::this_thread::sleep_for(50ms);
    }
    ADD_FAILURE() << "the console did not start:\n" << consoleLog();
    return {};
  }
  std::string consoleLog() const { return dir.read("console.log"); }

  // `openssl s_server` with a key of its own, for one connection: that key's fingerprint.
  std::string startOpenSslServer(const std::string& options) {
    const std::string key = (dir.path() / "server.pem").string();
    const std::string command =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj /CN=console -days 1 -keyout '" +
        key + "' -out '" + key + "' 2>/dev/null && openssl pkey -in '" + key + "' -pubout -outform DER | " +
        "openssl dgst -sha256 -binary | base64 | tr -d '=\\n' >'" + key + ".sha256' && { openssl s_server -www " +
        "-naccept 1 " + options + " -accept " + address_ + ":25000 -cert '" + key + "' >'" + key + ".log' 2>&1 & " +
        "echo $! >'" + key + ".pid'; }";
    if (std::system(command.c_str()) != 0) return {};
    serverPid_ = std::atoi(dir.read("server.pem.pid").c_str());
    for (int i = 0; i < 200 && dir.read("server.pem.log").find("ACCEPT") == std::string::npos; ++i) {
      std::this_thread::sleep_for(50ms);  // until it listens
    }
    return "SHA256:" + dir.read("server.pem.sha256");
  }

  // The host's ClientRun refused with the connection-failure box, `reason` in the trace file.
  void expectRefused(const std::string& reason) {
    EXPECT_EQ(runHost("", true), 2) << dir.read("host.txt");
    EXPECT_EQ(dir.read("box.txt"), "Vantrel\r\n" + std::string(kRefusedText) + "\r\n");
    const std::string trace = dir.read("trace.txt");
    EXPECT_NE(trace.find("==>TLS to " + address_ + "==>" + reason), std::string::npos) << trace;
  }

  // The host's consoleclient.ini asking for TLS pinned to `fingerprint`.
  void pin(const std::string& fingerprint) {
    std::filesystem::create_directories(dir.path() / "ini");
    dir.write("ini/consoleclient.ini", "[MESSAGEBOX]\nConnectServerFailed_en=" + std::string(kRefusedText) +
                                           "\n[NET]\nTls=1\nTlsFingerprint=" + fingerprint +
                                           "\nTraceFile=" + windowsPath(dir.path() / "trace.txt") + "\n");
  }

  // Runs the sample host (and, with `readBox`, the box reader beside it): its exit code.
  int runHost(const std::string& options, bool readBox = false) {
    const std::string host = "wine sample_host.exe " + address_ + " operator secret --ini '" +
                             windowsPath(dir.path() / "ini") + "' --timeout 60 " + options;
    const std::string box = "wine box_reader.exe 40 >'" + (dir.path() / "box.txt").string() + "'";
    const std::string command = "cd '" + bin_ + "' || exit 99; " + (readBox ? box + " & " : "") + host + " >'" +
                                (dir.path() / "host.txt").string() + "' 2>&1; rc=$?; wait; exit $rc";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  test::TempDir dir;
  RgbImage picture = test::testPicture(1024, 768, 7);
  std::string error;

 private:
  std::string bin_, address_;
  std::unique_ptr<ToolProcess> console_;
  pid_t serverPid_ = 0;
};

TEST_F(DllOverTlsTest, WithTheConsolesKeyPinnedTheHostShowsItsPicture) {
  const std::string fingerprint = startConsole();
  ASSERT_FALSE(fingerprint.empty());
  pin(fingerprint);
  const auto shot = dir.path() / "shot.bmp";
  ASSERT_EQ(runHost("--screenshot '" + windowsPath(shot) + "' --seconds 3"), 0) << dir.read("host.txt");
  const auto shown = loadBmp(dir.read("shot.bmp"));
  ASSERT_TRUE(shown);
  ASSERT_GE(shown->width * shown->height, 800 * 600);
  EXPECT_EQ(pixelsOff(*shown, topLeft(picture, shown->width, shown->height)), 0u);
  EXPECT_NE(consoleLog().find("'operator' logged in from 127.0.0.1 over TLS"), std::string::npos) << consoleLog();
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "trace.txt")) << "a session that worked traced nothing";
}

// Another key, or no pin that can be read, is no connection: the usual box, and the reason in the
// trace file; nobody logs in.
TEST_F(DllOverTlsTest, WithoutTheConsolesKeyPinnedNobodyLogsIn) {
  const std::string fingerprint = startConsole();
  ASSERT_FALSE(fingerprint.empty());
  std::string other = fingerprint;
  other[10] = other[10] == 'A' ? 'B' : 'A';
  const std::vector<std::pair<std::string, std::string>> rows = {
      {other, "the console's key is " + fingerprint + ", not the pinned " + other},
      {"", "[NET] Tls=1 needs TlsFingerprint"},
      {fingerprint.substr(0, 30), "[NET] TlsFingerprint=" + fingerprint.substr(0, 30) + " is not"},
  };
  for (const auto& [pinned, reason] : rows) {
    SCOPED_TRACE(pinned);
    pin(pinned);
    expectRefused(reason);
  }
  EXPECT_EQ(consoleLog().find("logged in"), std::string::npos) << consoleLog();
}

// A console that offers no more than TLS 1.1, which Wine's SChannel would settle for.
TEST_F(DllOverTlsTest, AConsoleOfferingTls11IsRefused) {
  pin(startOpenSslServer("-tls1_1 -cipher DEFAULT@SECLEVEL=0"));
  expectRefused("the console chose TLS 1.1");
}

}  // namespace
}  // namespace vantrel::cli
