#include "platform/portable/video_ffmpeg_common.h"

extern "C" {
#include <libavutil/log.h>
}

namespace qv::vsvc {

void QuietFfmpegLog()
{
    if (av_log_get_level() == AV_LOG_INFO) av_log_set_level(AV_LOG_QUIET);
}

}  // namespace qv::vsvc
