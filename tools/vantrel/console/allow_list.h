#pragma once
// The allow file as administrators write it: comments from '#' to the end of the line and blanks
// around entries are theirs, not the responder's, which would read each as part of an entry.

#include <string>
#include <string_view>

namespace vantrel::cli {

// The list without comments and without the blanks (spaces, tabs, CRs) around each entry; every
// line stays where it was, so that what is said about an entry names the administrator's line.
std::string plainAllowList(std::string_view text);

}  // namespace vantrel::cli
