// Video writer and reader exports: argument forms of the interface, then the
// video subsystem.
#include <quorvane/quorvane.h>
#include <quorvane/video.h>

#include "api/export_guard.h"
#include "api/writer_handles.h"
#include "common/result_codes.h"
#include "platform/video_service.h"
#include "video/avi_reader.h"
#include "video/avi_writer.h"

extern "C" {

QV_API int32_t QV_CALL RenderCompressedStart(QvWindow parentWindow, const char* fileName,
                                             int32_t width, int32_t height, int32_t bitsPerPixel,
                                             int32_t frameRate, int32_t frameTotal,
                                             AviWriter** writerOut)
{
    // Nowhere to store the handle: no record is made.
    if (writerOut == nullptr) return qv::result::kAviNoRecordMemory;
    AviWriter* handle = nullptr;
    // Memory that runs out inside a step that cannot say so gives 7.
    const int32_t result = qv::api::Guarded(qv::result::kAviNoFrameMemory, [&] {
        return qv::video::StartAviWriter(parentWindow, fileName, width, height, bitsPerPixel,
                                         frameRate, frameTotal, &handle);
    });
    if (handle == nullptr) return qv::result::kAviNoRecordMemory;
    // A handle the registry could not remember would be refused by every
    // later call: release the writer now and report that no record was made.
    if (!qv::api::AddWriterHandle(handle, qv::api::WriterKind::Avi)) {
        qv::api::GuardedVoid([&] { qv::video::EndAviWriter(handle); });
        return qv::result::kAviNoRecordMemory;
    }
    *writerOut = handle;
    return result;
}

QV_API int32_t QV_CALL RenderCompressed(QvDC frameDC, QvBitmap frameBitmap, uint32_t framePosition,
                                        AviWriter* writer)
{
    if (!qv::api::IsOpenWriterHandle(writer, qv::api::WriterKind::Avi)) return qv::result::kAviFrameNotWritten;
    return qv::api::Guarded(qv::result::kAviFrameNotWritten, [&] {
        return qv::video::WriteAviFrame(frameDC, frameBitmap, framePosition, writer);
    });
}

QV_API void QV_CALL RenderCompressedEnd(AviWriter* writer)
{
    if (qv::api::TakeWriterHandle(writer, qv::api::WriterKind::Avi))
        qv::api::GuardedVoid([&] { qv::video::EndAviWriter(writer); });
}

QV_API int32_t QV_CALL GetAVIinfo(const char* fileName, int32_t* widthOut, int32_t* heightOut,
                                  float* rateOut, int32_t* lengthOut)
{
    int32_t width = 0, height = 0, length = 0;
    float rate = 0.0f;
    const int32_t result = qv::api::Guarded(qv::result::kInfoFormatUnreadable, [&] {
        return qv::video::ReadAviInfo(fileName, &width, &height, &rate, &length);
    });
    if (result == qv::result::kInfoOk) {
        if (widthOut != nullptr) *widthOut = width;
        if (heightOut != nullptr) *heightOut = height;
        if (rateOut != nullptr) *rateOut = rate;
        if (lengthOut != nullptr) *lengthOut = length;
    }
    return result;
}

QV_API int32_t QV_CALL GetAVIframe(QvDC targetDC, const char* fileName, int32_t framePosition,
                                   float zoom)
{
    return qv::api::Guarded(qv::result::kDrawFrameFormatUnreadable, [&] { return qv::video::DrawAviFrame(targetDC, fileName, framePosition, zoom); });
}

#if !defined(_WIN32)
QV_API int32_t QV_CALL QvListCompressors(QvCompressorInfo* list, int32_t capacity)
{
    qv::vsvc::CompressorEntry entries[32];
    const int32_t count = qv::vsvc::ListCompressors(entries, 32);
    for (int32_t i = 0; i < count && i < 32 && list != nullptr && i < capacity; ++i)
        list[i] = {entries[i].fccHandler, entries[i].description, entries[i].lossless ? 1 : 0,
                   entries[i].keyFramesOnly ? 1 : 0};
    return count;
}
#endif

}  // extern "C"
