#pragma once
// What consoleclient.ini says about the view, beside its message texts.

#include "catalog/message_catalog.h"

namespace vantrel {

// [VIEW] AnyLocalScreen=1: lay the viewer out on any local screen instead of refusing all but
// 800 x 600 and 1024 x 768. Off when the key is missing or holds anything else.
bool anyLocalScreenEnabled(const MessageCatalog& catalog);

}  // namespace vantrel
