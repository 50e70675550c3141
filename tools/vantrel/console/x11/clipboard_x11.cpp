#include "console/x11/clipboard_x11.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "console/x11/x_display.h"
#include "latin1_text.h"

namespace vantrel::cli {
namespace {

constexpr long kMostLongs = 1 << 18;  // 1 MiB of text at most is fetched

}  // namespace

struct X11Clipboard::Impl {
  DisplayHandle display;
  TextListener listener;
  Window window = 0;
  int fixesEvents = 0;
  Atom clipboard = 0, utf8 = 0, targets = 0, text = 0, incr = 0, property = 0;
  int wake[2] = {-1, -1};
  std::thread thread;

  std::mutex lock;
  std::optional<std::string> toOwn;  // the viewer's latest text, not yet offered
  bool stopping = false;

  // Thread-side state.
  std::string offeredUtf8, offeredLatin1;
  std::string lastFromViewer;
  Atom asked = 0;  // the target of the conversion in progress

  Display* d() const { return display.get(); }

  ~Impl() {
    if (thread.joinable()) {
      {
        std::lock_guard guard(lock);
        stopping = true;
      }
      poke();
      thread.join();
    }
    for (const int fd : wake) {
      if (fd >= 0) close(fd);
    }
  }

  void poke() const {
    const char byte = 1;
    [[maybe_unused]] const auto written = write(wake[1], &byte, 1);
  }

  void run() {
    pollfd fds[2] = {{ConnectionNumber(d()), POLLIN, 0}, {wake[0], POLLIN, 0}};
    for (;;) {
      while (XPending(d()) > 0) {
        XEvent e;
        XNextEvent(d(), &e);
        handle(e);
      }
      if (displayLost()) fds[0].fd = -1;  // a broken connection would wake the wait at once, for ever
      if (poll(fds, 2, -1) < 0) continue;
      if (fds[1].revents & POLLIN) {
        char drain[64];
        while (read(wake[0], drain, sizeof drain) > 0) {
        }
        std::optional<std::string> viewerText;
        {
          std::lock_guard guard(lock);
          if (stopping) return;
          viewerText = std::exchange(toOwn, std::nullopt);
        }
        if (viewerText) own(*viewerText);
      }
    }
  }

  void own(const std::string& latin1) {
    lastFromViewer = latin1;
    offeredLatin1 = latin1;
    offeredUtf8 = latin1ToUtf8(latin1);
    XSetSelectionOwner(d(), clipboard, window, CurrentTime);
    XFlush(d());
  }

  void handle(const XEvent& e) {
    if (e.type == fixesEvents + XFixesSelectionNotify) {
      const auto& n = reinterpret_cast<const XFixesSelectionNotifyEvent&>(e);
      if (n.owner == None || n.owner == window) return;  // our own offer, or nobody
      fetch(utf8, n.selection_timestamp);
    } else if (e.type == SelectionNotify) {
      fetched(e.xselection);
    } else if (e.type == SelectionRequest) {
      answer(e.xselectionrequest);
    }
  }

  void fetch(Atom target, Time when) {
    asked = target;
    XConvertSelection(d(), clipboard, target, property, window, when);
    XFlush(d());
  }

  void fetched(const XSelectionEvent& e) {
    if (e.property == None) {
      if (asked == utf8) fetch(XA_STRING, e.time);  // an older client: plain Latin-1
      return;
    }
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const int result = XGetWindowProperty(d(), window, property, 0, kMostLongs, True, AnyPropertyType, &type, &format,
                                          &count, &after, &data);
    if (result != Success || data == nullptr) return;
    const std::string bytes(reinterpret_cast<const char*>(data), format == 8 ? count : 0);
    XFree(data);
    // INCR (transfers in pieces) is for texts far beyond what a viewer takes: not fetched.
    if (type == incr || format != 8 || (type != utf8 && type != XA_STRING)) return;
    const std::string latin1 = utf8ToLatin1(type == utf8 ? bytes : latin1ToUtf8(bytes));
    if (latin1 == lastFromViewer) return;  // a clipboard manager keeping the viewer's own text
    listener(latin1);
  }

  void answer(const XSelectionRequestEvent& r) {
    XSelectionEvent reply{};
    reply.type = SelectionNotify;
    reply.display = r.display;
    reply.requestor = r.requestor;
    reply.selection = r.selection;
    reply.target = r.target;
    reply.time = r.time;
    // Clients of the oldest conventions name no property: the target serves as one.
    reply.property = r.property != None ? r.property : r.target;
    if (r.selection != clipboard) {
      reply.property = None;
    } else if (r.target == targets) {
      const Atom offered[] = {targets, utf8, text, XA_STRING};
      XChangeProperty(d(), r.requestor, reply.property, XA_ATOM, 32, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(offered), 4);
    } else if (r.target == utf8 || r.target == text) {
      XChangeProperty(d(), r.requestor, reply.property, utf8, 8, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(offeredUtf8.data()), static_cast<int>(offeredUtf8.size()));
    } else if (r.target == XA_STRING) {
      XChangeProperty(d(), r.requestor, reply.property, XA_STRING, 8, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(offeredLatin1.data()),
                      static_cast<int>(offeredLatin1.size()));
    } else {
      reply.property = None;
    }
    XEvent out{};
    out.xselection = reply;
    XSendEvent(d(), r.requestor, False, NoEventMask, &out);
    XFlush(d());
  }
};

std::unique_ptr<X11Clipboard> X11Clipboard::open(const std::string& name, TextListener onDesktopText,
                                                 std::string& error) {
  auto impl = std::make_unique<Impl>();
  impl->display = openDisplay(name, error);
  if (!impl->display) return nullptr;
  Display* d = impl->d();
  int fixesErrors = 0;
  if (!XFixesQueryExtension(d, &impl->fixesEvents, &fixesErrors)) {
    error = "the X server lacks the XFIXES extension, which the clipboard needs";
    return nullptr;
  }
  if (pipe2(impl->wake, O_NONBLOCK | O_CLOEXEC) != 0) {
    error = "cannot make a pipe for the clipboard thread";
    return nullptr;
  }
  impl->listener = std::move(onDesktopText);
  impl->window = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
  impl->clipboard = XInternAtom(d, "CLIPBOARD", False);
  impl->utf8 = XInternAtom(d, "UTF8_STRING", False);
  impl->targets = XInternAtom(d, "TARGETS", False);
  impl->text = XInternAtom(d, "TEXT", False);
  impl->incr = XInternAtom(d, "INCR", False);
  impl->property = XInternAtom(d, "VANTREL_SELECTION", False);
  XFixesSelectSelectionInput(d, impl->window, impl->clipboard, XFixesSetSelectionOwnerNotifyMask);
  XSync(d, False);
  impl->thread = std::thread([p = impl.get()] { p->run(); });
  return std::unique_ptr<X11Clipboard>(new X11Clipboard(std::move(impl)));
}

X11Clipboard::X11Clipboard(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
X11Clipboard::~X11Clipboard() = default;

void X11Clipboard::setFromViewer(const std::string& latin1) {
  {
    std::lock_guard guard(impl_->lock);
    impl_->toOwn = latin1;
  }
  impl_->poke();
}

}  // namespace vantrel::cli
