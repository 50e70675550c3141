#pragma once
// The window and clipboard of a viewer that has no screen: the vantrel tool's snapshots and
// the session tests. The "viewer window" is this object's address; creating it announces the
// surface as the real window does at WM_CREATE. Everything the session asks of it is counted.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>

#include "viewer/session_ports.h"

namespace vantrel {

class HeadlessWindow final : public SessionWindowPort {
 public:
  bool createViewerWindow(ClientConnection& connection) override;
  WindowRef viewerWindow() const override { return const_cast<HeadlessWindow*>(this); }
  void updateWindow() override { ++updates; }
  bool parentVisible() const override { return parentShown.load(); }
  WindowRef parentOfParent() const override { return grandParent; }
  int viewMode() const override { return mode.load(); }
  void fitWindow() override { ++fits; }
  void postSizeMessage() override { ++sizeMessages; }
  void requestSessionEnd() override { sessionState = 2; }

  std::atomic<bool> parentShown{true};
  WindowRef grandParent = nullptr;
  std::atomic<int> mode{2};
  std::atomic<bool> depthSent{false};
  std::atomic<std::uint32_t> updates{0};
  std::atomic<std::uint32_t> fits{0};
  std::atomic<std::uint32_t> sizeMessages{0};
  std::atomic<int> sessionState{1};
};

// The console's last text, as a viewer's clipboard keeps it (up to a NUL, lines ending in LF).
class MemoryClipboard final : public ClipboardPort {
 public:
  void setLocalClipboard(std::span<const std::uint8_t> text) override;
  std::string text() const;
  std::uint32_t writes() const;

 private:
  mutable std::mutex mutex_;
  std::string text_;
  std::uint32_t writes_ = 0;
};

}  // namespace vantrel
