#pragma once
// Lines for systemd's journal. A service's standard output and error go to the journal, which
// names the stream in JOURNAL_STREAM ("DEVICE:INODE"); there each line starts with its syslog
// priority as "<N>", and the journal keeps the time.

#include <cstdio>
#include <string>

namespace vantrel::cli {

enum class Priority { Error = 3, Warning = 4, Notice = 5, Info = 6 };

// Whether `stream` is the journal's.
bool toJournal(std::FILE* stream);

// "<N>" for the journal, nothing elsewhere.
std::string journalPriority(std::FILE* stream, Priority priority);

}  // namespace vantrel::cli
