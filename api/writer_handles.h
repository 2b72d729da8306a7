// The writer handles the library has handed out and not yet taken back.
// The frame and End calls look a handle up here before touching the record
// behind it, so null, foreign, unreadable and already-closed handles are
// refused without being read.
#pragma once

namespace qv::api {

enum class WriterKind { Gif, Avi };

// Makes room for one more handle; false when there is no memory for it.
bool ReserveWriterHandle();
// Records a handle; call after a successful ReserveWriterHandle.
void AddWriterHandle(const void* handle, WriterKind kind);
bool IsOpenWriterHandle(const void* handle, WriterKind kind);
// Forgets the handle; false when it was not open as that kind.
bool TakeWriterHandle(const void* handle, WriterKind kind);

}  // namespace qv::api
