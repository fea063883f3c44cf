// WebM output for `kelvane render --path`: frames converted to YUV 4:2:0 by libswscale,
// encoded by libvpx's VP9 encoder through libavcodec, muxed by libavformat into the Output's
// temporary file through a custom I/O context (so the file is replaced only when whole).
#include "video.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <cerrno>
#include <cstdio>
#include <sys/types.h>

struct VideoState {
  AVFormatContext* fmt = nullptr;
  AVCodecContext* enc = nullptr;
  AVStream* stream = nullptr;
  AVFrame* frame = nullptr;
  AVPacket* packet = nullptr;
  SwsContext* sws = nullptr;
  AVIOContext* io = nullptr;
  std::FILE* f = nullptr;
  int64_t next = 0; // the next frame's presentation time, in frames
};

namespace {

std::string libError(const char* what, int code) {
  char b[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, b, sizeof b);
  return std::string(what) + " (" + b + ")";
}

int writePacket(void* opaque, uint8_t* buf, int size) {
  auto* f = static_cast<std::FILE*>(opaque);
  if (std::fwrite(buf, 1, size_t(size), f) == size_t(size)) return size;
  return AVERROR(errno ? errno : EIO); // a full disk says so, not "input/output error"
}

int64_t seekFile(void* opaque, int64_t offset, int whence) {
  auto* f = static_cast<std::FILE*>(opaque);
  if (whence == AVSEEK_SIZE) return -1; // the muxer does without
  // A seek writes out what stdio holds: its failure (a full disk) is the write's.
  if (fseeko(f, off_t(offset), whence & ~AVSEEK_FORCE) == 0) return int64_t(ftello(f));
  return AVERROR(errno ? errno : EIO);
}

// Hands every packet the encoder has ready to the muxer.
bool drain(VideoState& s, std::string& err) {
  for (;;) {
    int r = avcodec_receive_packet(s.enc, s.packet);
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
    if (r < 0) {
      err = libError("the VP9 encoder failed", r);
      return false;
    }
    av_packet_rescale_ts(s.packet, s.enc->time_base, s.stream->time_base);
    s.packet->stream_index = s.stream->index;
    r = av_interleaved_write_frame(s.fmt, s.packet);
    if (r < 0) {
      err = libError("could not write the video", r);
      return false;
    }
  }
}

void freeState(VideoState* s) {
  if (!s) return;
  sws_freeContext(s->sws);
  av_frame_free(&s->frame);
  av_packet_free(&s->packet);
  avcodec_free_context(&s->enc);
  if (s->io) av_freep(&s->io->buffer);
  avio_context_free(&s->io);
  avformat_free_context(s->fmt);
  delete s;
}

bool start(VideoState& s, int width, int height, int fps, std::string& err) {
  const AVCodec* codec = avcodec_find_encoder_by_name("libvpx-vp9");
  if (!codec) {
    err = "this build of libavcodec has no VP9 encoder (libvpx)";
    return false;
  }
  int r = avformat_alloc_output_context2(&s.fmt, nullptr, "webm", nullptr);
  if (r < 0) {
    err = libError("no WebM muxer", r);
    return false;
  }
  const int bufferSize = 1 << 16;
  auto* buffer = static_cast<unsigned char*>(av_malloc(bufferSize));
  s.io = buffer ? avio_alloc_context(buffer, bufferSize, 1, s.f, nullptr, writePacket, seekFile)
                : nullptr;
  if (!s.io) {
    av_free(buffer);
    err = "out of memory";
    return false;
  }
  s.fmt->pb = s.io;
  s.enc = avcodec_alloc_context3(codec);
  s.stream = avformat_new_stream(s.fmt, nullptr);
  s.frame = av_frame_alloc();
  s.packet = av_packet_alloc();
  if (!s.enc || !s.stream || !s.frame || !s.packet) {
    err = "out of memory";
    return false;
  }
  s.enc->width = width;
  s.enc->height = height;
  s.enc->pix_fmt = AV_PIX_FMT_YUV420P;
  s.enc->time_base = AVRational{1, fps};
  s.enc->framerate = AVRational{fps, 1};
  s.enc->gop_size = fps * 2;
  s.enc->bit_rate = 0; // constant quality
  // Constant quality, encoded about as fast as it renders.
  av_opt_set(s.enc->priv_data, "crf", "32", 0);
  av_opt_set(s.enc->priv_data, "deadline", "realtime", 0);
  av_opt_set(s.enc->priv_data, "cpu-used", "8", 0);
  if (s.fmt->oformat->flags & AVFMT_GLOBALHEADER) s.enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if ((r = avcodec_open2(s.enc, codec, nullptr)) < 0) {
    err = libError("could not start the VP9 encoder", r);
    return false;
  }
  s.stream->time_base = s.enc->time_base;
  s.stream->avg_frame_rate = s.enc->framerate;
  if ((r = avcodec_parameters_from_context(s.stream->codecpar, s.enc)) < 0) {
    err = libError("could not set up the video stream", r);
    return false;
  }
  s.frame->format = s.enc->pix_fmt;
  s.frame->width = width;
  s.frame->height = height;
  if ((r = av_frame_get_buffer(s.frame, 0)) < 0) {
    err = libError("out of memory", r);
    return false;
  }
  s.sws = sws_getContext(width, height, AV_PIX_FMT_RGB24, width, height, AV_PIX_FMT_YUV420P,
                         SWS_BICUBIC, nullptr, nullptr, nullptr);
  if (!s.sws) {
    err = "could not set up the colour conversion";
    return false;
  }
  if ((r = avformat_write_header(s.fmt, nullptr)) < 0) {
    err = libError("could not write the video's header", r);
    return false;
  }
  return true;
}

} // namespace

bool openVideo(Video& v, const std::string& path, int width, int height, int fps,
               const FileIdentity& was, std::string& err) {
  if (!openOutput(path, v.out, err, OutputMode::named, &was)) return false;
  av_log_set_level(AV_LOG_ERROR); // what goes well is not worth a line; failures are said
  v.s = new VideoState;
  v.s->f = v.out.f;
  if (start(*v.s, width, height, fps, err)) return true;
  freeState(v.s);
  v.s = nullptr;
  std::string ignored;
  commitOutput(v.out, false, ignored);
  return false;
}

bool addVideoFrame(Video& v, const std::vector<unsigned char>& rgb, std::string& err) {
  VideoState& s = *v.s;
  int r = av_frame_make_writable(s.frame);
  if (r < 0) {
    err = libError("out of memory", r);
    return false;
  }
  // OpenGL's rows run bottom to top: start at the last and step back.
  int stride = s.enc->width * 3;
  const uint8_t* top = rgb.data() + size_t(s.enc->height - 1) * size_t(stride);
  const uint8_t* src[1] = {top};
  int srcStride[1] = {-stride};
  sws_scale(s.sws, src, srcStride, 0, s.enc->height, s.frame->data, s.frame->linesize);
  s.frame->pts = s.next++;
  if ((r = avcodec_send_frame(s.enc, s.frame)) < 0) {
    err = libError("the VP9 encoder failed", r);
    return false;
  }
  return drain(s, err);
}

bool closeVideo(Video& v, bool ok, std::string& err) {
  VideoState* s = v.s;
  if (ok) {
    int r = avcodec_send_frame(s->enc, nullptr); // the end: the encoder hands over what it holds
    if (r < 0) {
      err = libError("the VP9 encoder failed", r);
      ok = false;
    } else {
      ok = drain(*s, err);
    }
  }
  int r = av_write_trailer(s->fmt);
  if (ok && r < 0) {
    err = libError("could not finish the video", r);
    ok = false;
  }
  avio_flush(s->io);
  freeState(s);
  v.s = nullptr;
  return commitOutput(v.out, ok, err);
}
