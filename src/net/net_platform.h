#pragma once
// What the socket wrapper needs from the system beyond the socket calls themselves: the
// Win32 shell uses IP Helper and GetComputerNameA, the Linux shell the neighbour table,
// getifaddrs and the host name.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "net/socket_compat.h"

namespace vantrel::net {

enum class Readiness { Readable, Writable };

// Waits until the socket is ready or `milliseconds` pass; true when it is ready or has failed
// (the next call on it reports which).
bool waitUntil(NativeSocket s, Readiness readiness, std::uint32_t milliseconds);

// Waits until one of the sockets is readable (or has failed) or `milliseconds` pass: the index of
// the first that is, nothing when none became so.
std::optional<std::size_t> waitUntilAnyReadable(std::span<const NativeSocket> sockets, std::uint32_t milliseconds);

// Switches TCP keepalive on: the first probe after `idleSeconds` of quiet, then one every
// `intervalSeconds`; a peer that answers none of a few probes fails the connection.
bool setKeepAlive(NativeSocket s, std::uint32_t idleSeconds, std::uint32_t intervalSeconds);

using HardwareAddress = std::array<std::uint8_t, 6>;

// The hardware address of an IPv4 neighbour (address in network order), when the system knows it.
std::optional<HardwareAddress> neighbourHardwareAddress(std::uint32_t address);

// The computer name as it goes into a probe reply: at most 31 characters.
std::optional<std::string> computerName();

// True when the system lists exactly one network adapter.
bool singleAdapterListed();

}  // namespace vantrel::net
