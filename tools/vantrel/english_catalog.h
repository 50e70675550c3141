#pragma once
// The English texts of the sample consoleclient.ini, built into the tool.

namespace vantrel::cli {

// INI text with one section, MESSAGEBOX, holding the "_en" keys.
extern const char* const kEnglishCatalog;

}  // namespace vantrel::cli
