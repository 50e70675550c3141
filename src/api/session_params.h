#pragma once
// The parameter block ClientInitial fills, and the copying of the host's strings into the
// fixed buffers the session keeps: a string longer than its buffer is cut, never copied past it.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "catalog/message_box.h"

namespace vantrel {

struct SessionParams {
  char iniDirectory[1024];
  WindowRef parentWindow;
  WindowRef ownerWindow;
  std::int32_t areaLeft;
  std::int32_t areaTop;
  std::int32_t areaWidth;
  std::int32_t areaHeight;
  char serverAddress[257];
  std::uint32_t reservedA;
  char userName[257];
  char password[257];
  std::uint32_t reservedB;
  std::uint32_t language;
};
// The block of the 32-bit DLL; the 64-bit one holds wider handles.
static_assert(sizeof(void*) != 4 || sizeof(SessionParams) == 1836);

// The longest texts the session keeps. The directory leaves room for "\consoleclient.ini" in
// a 1024-byte path; the server address also goes into the 128-byte title copy.
inline constexpr std::size_t kIniDirectoryMax = 1005;
inline constexpr std::size_t kTitleAddressMax = 127;
inline constexpr std::size_t kCredentialMax = 256;

// Copies at most `limit` characters of `text` (null: none) into `out` and terminates it; the
// rest of `out` is zero.
inline void copyCut(std::span<char> out, const char* text, std::size_t limit) {
  if (out.empty()) return;
  std::fill(out.begin(), out.end(), '\0');
  if (text == nullptr) return;
  const std::size_t most = std::min(limit, out.size() - 1);
  std::size_t length = 0;
  while (length < most && text[length] != '\0') ++length;
  std::memcpy(out.data(), text, length);
}

struct SessionArguments {
  const char* iniDirectory;
  WindowRef parentWindow;
  WindowRef ownerWindow;
  std::int32_t areaLeft, areaTop, areaWidth, areaHeight;
  const char* serverAddress;
  std::uint32_t reservedA;
  const char* userName;
  const char* password;
  std::uint32_t reservedB;
  std::uint32_t language;
};

inline void fillSessionParams(SessionParams& params, const SessionArguments& a) {
  std::memset(&params, 0, sizeof params);
  copyCut(params.iniDirectory, a.iniDirectory, kIniDirectoryMax);
  params.parentWindow = a.parentWindow;
  params.ownerWindow = a.ownerWindow;
  params.areaLeft = a.areaLeft;
  params.areaTop = a.areaTop;
  params.areaWidth = a.areaWidth;
  params.areaHeight = a.areaHeight;
  copyCut(params.serverAddress, a.serverAddress, kCredentialMax);
  params.reservedA = a.reservedA;
  copyCut(params.userName, a.userName, kCredentialMax);
  copyCut(params.password, a.password, kCredentialMax);
  params.reservedB = a.reservedB;
  params.language = a.language;
}

}  // namespace vantrel
