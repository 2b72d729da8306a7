// Animated GIF writer exports: narrow the 16-bit arguments, admit only
// handles that Start handed out and End has not taken back, and hand over
// to the writer.
#include <quorvane/quorvane.h>

#include "api/export_guard.h"
#include "api/writer_handles.h"
#include "common/result_codes.h"
#include "gif/gif_writer.h"

extern "C" {

QV_API int32_t QV_CALL RenderAnimatedGIFStart(const char* fileName, int32_t width, int32_t height,
                                              int32_t bitsPerPixel, int32_t frameRate,
                                              int32_t loopCount, GifWriter** writerOut)
{
    using qv::api::WriterKind;
    if (writerOut == nullptr) return qv::result::kGifStartNoRecord;
    GifWriter* made = nullptr;
    const int32_t result = qv::api::Guarded(qv::result::kGifStartNoWorkBitmap, [&] {
        return qv::gif::StartWriter(fileName, width, height, bitsPerPixel, frameRate,
                                    static_cast<uint16_t>(loopCount), &made);
    });
    if (made == nullptr) return qv::result::kGifStartNoRecord;
    // A handle the registry could not remember would be refused by every
    // later call: release the writer now and report that no record was made.
    if (!qv::api::AddWriterHandle(made, WriterKind::Gif)) {
        qv::api::GuardedVoid([&] { qv::gif::EndWriter(made); });
        return qv::result::kGifStartNoRecord;
    }
    *writerOut = made;
    return result;
}

QV_API int32_t QV_CALL RenderAnimatedGIF(QvDC frameDC, QvBitmap frameBitmap, int32_t holdFrames,
                                         GifWriter* writer)
{
    if (!qv::api::IsOpenWriterHandle(writer, qv::api::WriterKind::Gif)) return qv::result::kGifFrameNoWriter;
    return qv::api::Guarded(qv::result::kGifFrameNotQuantised, [&] {
        return qv::gif::WriteFrame(frameDC, frameBitmap, static_cast<uint16_t>(holdFrames), writer);
    });
}

QV_API void QV_CALL RenderAnimatedGIFEnd(GifWriter* writer)
{
    if (qv::api::TakeWriterHandle(writer, qv::api::WriterKind::Gif))
        qv::api::GuardedVoid([&] { qv::gif::EndWriter(writer); });
}

}  // extern "C"
