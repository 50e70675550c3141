// The CLIPBOARD selection both ways through an Xvfb of the test's own, against a client there.
#include "console/x11/clipboard_x11.h"

// googletest first: Xlib defines None and Bool as macros.
#include <gtest/gtest.h>
// clang-format off
#include <X11/Xatom.h>
#include <X11/Xlib.h>
// clang-format on

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "tool/xvfb.h"

namespace vantrel::cli {
namespace {

using namespace std::chrono_literals;

// Another application on the desktop: it copies UTF-8 text and pastes what is offered.
class Application {
 public:
  explicit Application(const std::string& name) : d_(XOpenDisplay(name.c_str())) {
    window_ = XCreateSimpleWindow(d_, DefaultRootWindow(d_), 0, 0, 1, 1, 0, 0, 0);
    clipboard_ = XInternAtom(d_, "CLIPBOARD", False);
    utf8_ = XInternAtom(d_, "UTF8_STRING", False);
  }
  ~Application() { XCloseDisplay(d_); }

  void copy(const std::string& utf8) {
    text_ = utf8;
    XSetSelectionOwner(d_, clipboard_, window_, CurrentTime);
    XSync(d_, False);
  }
  // Serves paste requests for a while.
  void serve(std::chrono::milliseconds span) {
    const auto end = std::chrono::steady_clock::now() + span;
    while (std::chrono::steady_clock::now() < end) {
      if (XPending(d_) == 0) {
        std::this_thread::sleep_for(2ms);
        continue;
      }
      XEvent e;
      XNextEvent(d_, &e);
      if (e.type != SelectionRequest) continue;
      const XSelectionRequestEvent& r = e.xselectionrequest;
      XEvent reply{};
      reply.xselection = {SelectionNotify, 0, True, d_, r.requestor, r.selection, r.target, None, r.time};
      if (r.target == utf8_) {
        XChangeProperty(d_, r.requestor, r.property, utf8_, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(text_.data()), static_cast<int>(text_.size()));
        reply.xselection.property = r.property;
      }
      XSendEvent(d_, r.requestor, False, NoEventMask, &reply);
      XFlush(d_);
    }
  }
  std::string paste(Atom target = 0) {
    const Atom property = XInternAtom(d_, "PASTED", False);
    XConvertSelection(d_, clipboard_, target != 0 ? target : utf8_, property, window_, CurrentTime);
    XSync(d_, False);
    for (int i = 0; i < 300; ++i) {
      XEvent e;
      if (XCheckTypedWindowEvent(d_, window_, SelectionNotify, &e)) {
        if (e.xselection.property == None) return "(refused)";
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        XGetWindowProperty(d_, window_, property, 0, 1 << 16, True, AnyPropertyType, &type, &format, &count, &after,
                           &data);
        std::string text(reinterpret_cast<char*>(data), count);
        XFree(data);
        return text;
      }
      std::this_thread::sleep_for(5ms);
    }
    return "(no answer)";
  }

 private:
  Display* d_;
  Window window_ = 0;
  Atom clipboard_ = 0, utf8_ = 0;
  std::string text_;
};

class Received {
 public:
  void add(const std::string& text) {
    std::lock_guard guard(lock_);
    texts_.push_back(text);
    changed_.notify_all();
  }
  std::vector<std::string> wait(std::size_t count, std::chrono::milliseconds within) {
    std::unique_lock lk(lock_);
    changed_.wait_for(lk, within, [&] { return texts_.size() >= count; });
    return texts_;
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<std::string> texts_;
};

TEST(X11Clipboard, TextGoesBothWaysWithoutComingBack) {
  test::Xvfb server(640, 480);
  ASSERT_TRUE(server.running());
  Application app(server.name());
  Received received;
  std::string error;
  auto clipboard = X11Clipboard::open(server.name(), [&](const std::string& t) { received.add(t); }, error);
  ASSERT_TRUE(clipboard) << error;

  // Copied on the desktop: the viewer gets Latin-1, with what Latin-1 lacks as '?'.
  app.copy("caf\xC3\xA9 \xE2\x82\xAC\r\nline");
  app.serve(500ms);
  EXPECT_EQ(received.wait(1, 2000ms), std::vector<std::string>{"caf\xE9 ?\nline"});

  // From the viewer: pasted on the desktop as UTF-8 or as Latin-1 STRING; nothing goes back.
  clipboard->setFromViewer("na\xEFve");
  std::string pasted;
  for (int i = 0; i < 100 && pasted != "na\xC3\xAFve"; ++i) {
    pasted = app.paste();
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_EQ(pasted, "na\xC3\xAFve");
  EXPECT_EQ(app.paste(XA_STRING), "na\xEFve");

  // A clipboard manager that takes the viewer's text over does not send it back either; a new
  // text copied afterwards goes.
  app.copy("na\xC3\xAFve");
  app.serve(300ms);
  app.copy("new");
  app.serve(300ms);
  EXPECT_EQ(received.wait(2, 2000ms), (std::vector<std::string>{"caf\xE9 ?\nline", "new"}));
}

}  // namespace
}  // namespace vantrel::cli
