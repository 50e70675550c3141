#pragma once
// What consoleclient.ini says about the view, beside its message texts.

#include "catalog/message_catalog.h"
#include "viewer/view_geometry.h"

namespace vantrel {

// [VIEW] AnyLocalScreen=1: lay the viewer out on any local screen instead of refusing all but
// 800 x 600 and 1024 x 768. [VIEW] ScaleToFit=1: show a remote screen that does not fit scaled
// (view_geometry.h). Each is off when its key is missing or holds anything but 1.
ViewOptions viewOptions(const MessageCatalog& catalog);

}  // namespace vantrel
