#pragma once
// The trace points of the keyboard path write here. It discards everything; a developer who
// wants the lines routes them to TraceLog or DebugTrace instead.

namespace vantrel {

struct TraceHandle;
inline TraceHandle* traceHandle = nullptr;  // never set

template <typename... Args>
inline void traceSink(TraceHandle*, const char*, const Args&...) {}

}  // namespace vantrel
