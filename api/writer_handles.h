// The writer handles the library has handed out and not yet taken back: the
// one check of a writer handle. The frame and End calls look a handle up
// here before touching the record behind it, so null, foreign, unreadable
// and already-closed handles are refused without being read.
#pragma once

namespace qv::api {

enum class WriterKind { Gif, Avi };

// Records a handle; false when there is no memory to remember it (the Start
// call then releases what it made and fails).
[[nodiscard]] bool AddWriterHandle(const void* handle, WriterKind kind);
bool IsOpenWriterHandle(const void* handle, WriterKind kind);
// Forgets the handle; false when it was not open as that kind.
bool TakeWriterHandle(const void* handle, WriterKind kind);

}  // namespace qv::api
