// The viewer session driven by pushed bytes (the browser's): the login, the messages and the
// bytes it hands out, whatever pieces the console's stream arrives in.
#include "viewer/push_session.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "fuzz/push_session_checks.h"
#include "protocol/credential_cipher.h"
#include "screen/shown_surface.h"
#include "support/recording_message_boxes.h"
#include "support/screen_messages.h"
#include "viewer/headless_session.h"

namespace vantrel {
namespace {

using testing::Bytes;
using Pixels = std::vector<std::uint32_t>;

const Bytes kProceed = {107, 0, 0, 0};
const Bytes kLoggedIn = {101, 0, 0, 0};
const Bytes kDepth32 = {3, 0, 18, 0, 32, 0, 0, 0};
const Bytes kAck = {3, 0, 11, 0, 0, 0, 0, 0};
const Bytes kServerCut = {3, 0, 17, 0, 0, 0, 0, 0};

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes update(std::uint8_t type, std::uint16_t x, std::uint16_t y, std::uint16_t w, std::uint16_t h, std::uint32_t colour) {
  return testing::screenUpdate(type, x, y, w, h, 0, testing::trueColourBlock(w, h, Pixels(std::size_t{w} * h, colour)),
                               testing::kTrueColourHeaderLength)
      .wire();
}

struct Fixture {
  testing::RecordedMessages recorded;
  ShownSurface surface;
  MemoryClipboard clipboard;
  std::unique_ptr<PushSession> session =
      PushSession::create(surface, clipboard, recorded.messages, "operator", "secret");

  // Feeds `stream` as push_session_checks::feed does, and takes what the session has to send.
  Bytes play(const Bytes& stream, std::size_t piece, bool intoRoom = false) {
    push_session_checks::feed(*session, stream, piece, intoRoom);
    return take();
  }
  Bytes take() {
    Bytes out = session->outgoing();
    session->clearOutgoing();
    return out;
  }
  std::vector<std::string> boxes() const {
    std::vector<std::string> texts;
    for (const auto& b : recorded.boxes.boxes()) texts.push_back(b.text);
    return texts;
  }
};

TEST(PushSession, ASessionComesOutTheSameWhateverPiecesItArrivesIn) {
  const Bytes messages = concat({testing::screenFormat(640, 480).wire(), update(4, 0, 0, 640, 480, 0x336699),
                                 update(4, 8, 8, 8, 8, 0x00FF00), update(5, 16, 0, 4, 4, 0xFF0000),
                                 {3, 0, 12, 0, 5, 0, 0, 0, 'h', 'i', '\n', 0, 'x'}, {9}, kServerCut,
                                 update(4, 0, 0, 8, 8, 0)});
  const Bytes stream = concat({kProceed, kLoggedIn, messages});
  for (const auto& [piece, intoRoom] : std::vector<std::pair<std::size_t, bool>>{
           {stream.size(), false}, {1, false}, {7, false}, {4096, false}, {1, true}, {7, true}, {4096, true}}) {
    SCOPED_TRACE(std::to_string(piece) + (intoRoom ? " into the room" : ""));
    Fixture f;
    const Bytes sent = f.play(stream, piece, intoRoom);
    // The request code and the two scrambled credential fields, then the surface's depth and one
    // acknowledgement for each of the five messages handled before the console's end (the
    // unknown type byte gets none), and nothing for what came after it.
    ASSERT_EQ(sent.size(), 4 + 24 + 264 + kDepth32.size() + 5 * kAck.size());
    EXPECT_EQ(Bytes(sent.begin(), sent.begin() + 4), (Bytes{108, 0, 0, 0}));
    CredentialCipher cipher;
    Bytes user(24);
    cipher.unscramble(sent.data() + 4, user.data(), 24);
    EXPECT_STREQ(reinterpret_cast<const char*>(user.data()), "operator");
    EXPECT_EQ(Bytes(sent.begin() + 292, sent.end()), concat({kDepth32, kAck, kAck, kAck, kAck, kAck}));

    EXPECT_EQ(f.session->phase(), PushSession::Phase::ServerEnded);
    EXPECT_EQ(f.boxes(), std::vector<std::string>{"ServerCutConnect_en"});
    EXPECT_EQ(f.clipboard.text(), "hi\n");
    std::vector<std::uint32_t> shown;
    f.surface.takeChanges([&](const ShownSurface::Changes& c) { shown.assign(c.pixels.begin(), c.pixels.end()); });
    ASSERT_EQ(shown.size(), 640u * 480u);
    EXPECT_EQ(shown[0], 0x336699u);
    EXPECT_EQ(shown[9 * 640 + 9], 0x336699u ^ 0x00FF00u);  // a true-colour update is a delta
    EXPECT_EQ(shown[1 * 640 + 17], 0x336699u ^ 0xFF0000u);  // the overlay over the picture
  }
}

TEST(PushSession, RefusalsShowTheirBoxAndSendNothingMore) {
  struct Case {
    const char* what;
    Bytes stream;
    std::vector<std::string> boxes;
    std::size_t sent;
  };
  const Case cases[] = {
      {"first status: locked out", {102, 0, 0, 0, 107, 0, 0, 0}, {"ClientLocked_en"}, 0},
      {"second status: wrong credentials", concat({kProceed, {102, 0, 0, 0}}), {"LoginFailed_en"}, 292},
      // The host shows the third failure after the credentials; the browser's page is the host.
      {"second status: the third failure", concat({kProceed, {111, 0, 0, 0}}), {"ThreeTimeFailed_en"}, 292},
      {"second status: a screen too large", concat({kProceed, {132, 0, 0, 0}}), {"ScreenTooLarge_en"}, 292},
  };
  for (const Case& c : cases) {
    Fixture f;
    EXPECT_EQ(f.play(c.stream, 1).size(), c.sent) << c.what;
    EXPECT_EQ(f.session->phase(), PushSession::Phase::Refused) << c.what;
    EXPECT_EQ(f.boxes(), c.boxes) << c.what;
    EXPECT_FALSE(f.session->sendKeyEvent(0x61, true)) << c.what;
    EXPECT_TRUE(f.session->outgoing().empty()) << c.what;
  }
}

TEST(PushSession, AConsoleThatBreaksTheProtocolEndsTheSession) {
  struct Case {
    const char* what;
    Bytes messages;
    PushSession::Phase phase;
  };
  const Case cases[] = {
      {"a payload longer than any the viewer takes", {3, 0, 12, 0, 0x01, 0x00, 0x65, 0x00}, PushSession::Phase::Failed},
      {"a rectangle larger than the decode buffer",
       concat({testing::screenFormat(640, 480).wire(),
               testing::screenUpdate(4, 0, 0, 4000, 4000, 0, testing::trueColourBlock(1, 1, {0}), 52).wire()}),
       PushSession::Phase::Failed},
      {"a screen size the viewer cannot show", testing::screenFormat(1280, 1024).wire(), PushSession::Phase::ServerEnded},
  };
  for (const Case& c : cases) {
    Fixture f;
    f.play(concat({kProceed, kLoggedIn}), 8);
    f.play(c.messages, 3);
    EXPECT_EQ(f.session->phase(), c.phase) << c.what;
    EXPECT_FALSE(f.session->sendPointer(1, 1, 0)) << c.what;
  }
}

TEST(PushSession, UserInputGoesOutAsTheViewersRecords) {
  Fixture f;
  f.play(concat({kProceed, kLoggedIn}), 8);
  EXPECT_TRUE(f.session->sendKeyEvent(0x41, true));
  EXPECT_TRUE(f.session->sendPointer(10, 20, 1));
  EXPECT_TRUE(f.session->sendPointer(10, 20, 1));  // the same again: nothing new goes out
  EXPECT_TRUE(f.session->sendPointer(10, 20, 0));
  EXPECT_TRUE(f.session->sendSpecialRequest(SpecialRequest::CtrlAltDel));
  EXPECT_TRUE(f.session->sendClipboardText("a\r\nb"));
  EXPECT_FALSE(f.session->sendClipboardText(std::string(kMaxClipboardSend + 1, 'x')));
  const Bytes sent = f.take();
  EXPECT_EQ(sent,
            concat({{1, 1, 0, 0, 0x41, 0, 0, 0}, {2, 1, 10, 0, 20, 0}, {2, 0, 10, 0, 20, 0}, {3, 0, 15, 0, 0, 0, 0, 0},
                    {3, 0, 12, 0, 3, 0, 0, 0, 'a', '\n', 'b'}}));
}

}  // namespace
}  // namespace vantrel
