#include "journal.h"

#include <sys/stat.h>

#include <cinttypes>
#include <cstdlib>

namespace vantrel::cli {

bool toJournal(std::FILE* stream) {
  const char* named = std::getenv("JOURNAL_STREAM");
  struct stat status {};
  if (named == nullptr || fstat(fileno(stream), &status) != 0) return false;
  std::uintmax_t device = 0, inode = 0;
  char end = 0;
  return std::sscanf(named, "%" SCNuMAX ":%" SCNuMAX "%c", &device, &inode, &end) == 2 &&
         device == static_cast<std::uintmax_t>(status.st_dev) && inode == static_cast<std::uintmax_t>(status.st_ino);
}

std::string journalPriority(std::FILE* stream, Priority priority) {
  if (!toJournal(stream)) return {};
  char lead[8];
  std::snprintf(lead, sizeof lead, "<%d>", static_cast<int>(priority));
  return lead;
}

}  // namespace vantrel::cli
