#pragma once
// Whether the test program runs under Wine, for the few socket behaviours that Wine does not
// reproduce (it reports a connection reset as an orderly close).

namespace vantrel::testing {

bool runningUnderWine();

}  // namespace vantrel::testing
