#pragma once
// The lines `vantrel console` writes for its administrator: each starts with the local time in
// ISO 8601 form, so that lines from several days (or from several consoles) sort and compare;
// in systemd's journal, which keeps the time itself, with the line's priority instead.

#include <chrono>
#include <cstdio>
#include <string>

#include "journal.h"

namespace vantrel::cli {

// "2025-03-01T14:05:09+01:00": local time to the second, with its offset from UTC.
std::string isoTime(std::chrono::system_clock::time_point time);

// The time, a blank and the text (or the priority and the text), as one line written whole and
// flushed.
void logLine(std::FILE* out, Priority priority, const std::string& text);

}  // namespace vantrel::cli
