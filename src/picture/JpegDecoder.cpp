// Decoding JPEG files with libjpeg-turbo: scaled down in the inverse DCT, bounded in memory,
// and strict about damage.
#include "picture/JpegDecoder.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

// clang-format off
#include <jpeglib.h>  // NOTE: needs <cstdio> before it
#include <jerror.h>
// clang-format on

namespace ostrel::picture {

namespace {

constexpr size_t kReadChunkBytes = 64 * 1024;

// The file read chunk by chunk through a descriptor: a camera's JPEG is megabytes, and read
// whole it would first have to be faulted into fresh memory.
struct Source {
    jpeg_source_mgr pub{};
    int fd = -1;
    int readErrno = 0;
    std::vector<JOCTET> buffer = std::vector<JOCTET>(kReadChunkBytes);
};

void initSource(j_decompress_ptr) {}
void termSource(j_decompress_ptr) {}

boolean fillInput(j_decompress_ptr cinfo) {
    auto* source = reinterpret_cast<Source*>(cinfo->src);
    ssize_t n = 0;
    do {
        n = ::read(source->fd, source->buffer.data(), source->buffer.size());
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        source->readErrno = errno;
        ERREXIT(cinfo, JERR_FILE_READ);
    }
    if (n == 0) {
        // The file ends before the picture does: libjpeg's own way, a warning and an end marker.
        static const JOCTET kEndOfImage[] = {0xFF, JPEG_EOI};
        WARNMS(cinfo, JWRN_JPEG_EOF);
        source->pub.next_input_byte = kEndOfImage;
        source->pub.bytes_in_buffer = sizeof kEndOfImage;
        return TRUE;
    }
    source->pub.next_input_byte = source->buffer.data();
    source->pub.bytes_in_buffer = static_cast<size_t>(n);
    return TRUE;
}

void skipInput(j_decompress_ptr cinfo, long count) {
    jpeg_source_mgr* pub = cinfo->src;
    while (count > static_cast<long>(pub->bytes_in_buffer)) {
        count -= static_cast<long>(pub->bytes_in_buffer);
        fillInput(cinfo);
    }
    if (count > 0) {
        pub->next_input_byte += count;
        pub->bytes_in_buffer -= static_cast<size_t>(count);
    }
}

enum class Phase { Header, Picture };

// libjpeg's errors end the decode by a jump back (it is C: no exceptions through it), and so do
// its corrupt-data warnings, on which it would otherwise fill the damage in with grey.
struct Errors {
    jpeg_error_mgr pub{};
    std::jmp_buf jump{};
    Phase phase = Phase::Header;
    int code = 0;
    char text[JMSG_LENGTH_MAX] = {};
};

[[noreturn]] void stop(j_common_ptr cinfo) {
    auto* errors = reinterpret_cast<Errors*>(cinfo->err);
    errors->code = cinfo->err->msg_code;
    (*cinfo->err->format_message)(cinfo, errors->text);
    std::longjmp(errors->jump, 1);
}

void errorExit(j_common_ptr cinfo) {
    stop(cinfo);
}

void emitMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) return;  // trace messages
    switch (cinfo->err->msg_code) {
        case JWRN_ADOBE_XFORM:  // an unknown transform code: the colours are taken as they are
        case JWRN_JFIF_MAJOR:   // a later JFIF revision
            return;
        default:
            stop(cinfo);
    }
}

// Everything that lives across the jump: nothing that would need destroying is made between
// setjmp and the calls that may jump.
struct Job {
    jpeg_decompress_struct cinfo{};
    Errors errors;
    Source source;
    QSize raster;
    JpegLimits limits;
    JpegResult result;
    bool cmyk = false;
    std::vector<JSAMPLE> row;
};

// What the coefficient buffers of a file of several scans take: every block of every component.
int64_t coefficientBytes(const jpeg_decompress_struct& cinfo) {
    int64_t bytes = 0;
    for (int c = 0; c < cinfo.num_components; ++c) {
        const jpeg_component_info& comp = cinfo.comp_info[c];
        const int64_t h = comp.h_samp_factor, v = comp.v_samp_factor;
        const int64_t across = (comp.width_in_blocks + h - 1) / h * h;
        const int64_t down = (comp.height_in_blocks + v - 1) / v * v;
        bytes += across * down * static_cast<int64_t>(sizeof(JBLOCK));
    }
    return bytes;
}

void toRgb32FromCmyk(const JSAMPLE* in, QRgb* out, int width) {
    // Adobe writes CMYK inverted: 255 is no ink.
    for (int x = 0; x < width; ++x, in += 4) {
        const int k = in[3];
        out[x] = qRgb(k * in[0] / 255, k * in[1] / 255, k * in[2] / 255);
    }
}

// The decode itself; false when it stopped, with the outcome in the job (or in its errors).
bool run(Job& job) {
    jpeg_decompress_struct& cinfo = job.cinfo;
    if (setjmp(job.errors.jump)) return false;
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = static_cast<long>(job.limits.maxMemoryBytes);
    cinfo.src = &job.source.pub;
    jpeg_read_header(&cinfo, TRUE);
    job.errors.phase = Phase::Picture;
    JpegResult& result = job.result;
    result.width = static_cast<int>(cinfo.image_width);
    result.height = static_cast<int>(cinfo.image_height);
    // NOTE: each side first, so that the product cannot mislead.
    const int64_t limit = job.limits.maxSourcePixels;
    if (result.width > limit || result.height > limit ||
        int64_t{result.width} * result.height > limit) {
        result.outcome = JpegOutcome::TooManyPixels;
        return false;
    }
    if (jpeg_has_multiple_scans(&cinfo)) {
        result.memoryBytes = coefficientBytes(cinfo);
        if (result.memoryBytes > job.limits.maxMemoryBytes) {
            result.outcome = JpegOutcome::TooMuchMemory;
            return false;
        }
    }
    switch (cinfo.jpeg_color_space) {
        case JCS_GRAYSCALE:
        case JCS_YCbCr:
        case JCS_RGB:
            // Straight into the rows of a Format_RGB32 picture: 0xffRRGGBB in memory order.
            cinfo.out_color_space = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRX : JCS_EXT_XRGB;
            break;
        case JCS_CMYK:
        case JCS_YCCK:
            cinfo.out_color_space = JCS_CMYK;
            job.cmyk = true;
            break;
        default:
            result.outcome = JpegOutcome::Unsupported;
            result.detail = std::to_string(cinfo.num_components) + " colour components";
            return false;
    }
    result.scaleDenominator = jpegScaleDenominator(QSize(result.width, result.height), job.raster);
    cinfo.scale_num = 1;
    cinfo.scale_denom = static_cast<unsigned>(result.scaleDenominator);
    jpeg_start_decompress(&cinfo);
    const int width = static_cast<int>(cinfo.output_width);
    const int height = static_cast<int>(cinfo.output_height);
    result.image = QImage(width, height, QImage::Format_RGB32);
    if (result.image.isNull()) {
        result.outcome = JpegOutcome::TooMuchMemory;
        return false;
    }
    if (job.cmyk) job.row.resize(static_cast<size_t>(width) * 4);
    constexpr int kRowsAtOnce = 16;
    JSAMPROW rows[kRowsAtOnce];
    while (cinfo.output_scanline < cinfo.output_height) {
        const int y = static_cast<int>(cinfo.output_scanline);
        if (job.cmyk) {
            rows[0] = job.row.data();
            if (jpeg_read_scanlines(&cinfo, rows, 1) == 1) {
                toRgb32FromCmyk(job.row.data(), reinterpret_cast<QRgb*>(result.image.scanLine(y)),
                                width);
            }
            continue;
        }
        const int n = std::min(kRowsAtOnce, height - y);
        for (int i = 0; i < n; ++i) rows[i] = result.image.scanLine(y + i);
        jpeg_read_scanlines(&cinfo, rows, static_cast<JDIMENSION>(n));
    }
    jpeg_finish_decompress(&cinfo);
    result.outcome = JpegOutcome::Decoded;
    return true;
}

JpegOutcome classify(const Errors& errors) {
    switch (errors.code) {
        case JERR_BAD_PRECISION:    // 12-bit samples
        case JERR_SOF_UNSUPPORTED:  // lossless and hierarchical coding
        case JERR_CONVERSION_NOTIMPL:
            return JpegOutcome::Unsupported;
        case JERR_FILE_READ:
            return JpegOutcome::ReadFailed;
        default:
            break;
    }
    if (errors.phase == Phase::Header) return JpegOutcome::HeaderUnreadable;
    switch (errors.code) {
        case JWRN_JPEG_EOF:
            return JpegOutcome::Truncated;
        case JERR_NO_BACKING_STORE:  // the bound on libjpeg's own memory
        case JERR_OUT_OF_MEMORY:
            return JpegOutcome::TooMuchMemory;
        default:
            return JpegOutcome::Damaged;
    }
}

}  // namespace

int jpegScaleDenominator(QSize source, QSize raster) {
    for (int denominator : {8, 4, 2}) {
        if ((source.width() + denominator - 1) / denominator >= raster.width() &&
            (source.height() + denominator - 1) / denominator >= raster.height()) {
            return denominator;
        }
    }
    return 1;
}

JpegResult DecodeJpeg(int fd, QSize raster, const JpegLimits& limits) {
    Job job;
    job.raster = raster.isEmpty() ? QSize(1, 1) : raster;
    job.limits = limits;
    job.source.fd = fd;
    job.source.pub.init_source = initSource;
    job.source.pub.fill_input_buffer = fillInput;
    job.source.pub.skip_input_data = skipInput;
    job.source.pub.resync_to_restart = jpeg_resync_to_restart;
    job.source.pub.term_source = termSource;
    job.cinfo.err = jpeg_std_error(&job.errors.pub);
    job.errors.pub.error_exit = errorExit;
    job.errors.pub.emit_message = emitMessage;
    const bool decoded = run(job);
    jpeg_destroy_decompress(&job.cinfo);
    JpegResult result = std::move(job.result);
    if (decoded) return result;
    result.image = QImage();
    if (job.errors.code != 0) {
        result.outcome = classify(job.errors);
        result.detail = result.outcome == JpegOutcome::ReadFailed
                            ? std::strerror(job.source.readErrno)
                            : std::string(job.errors.text);
    }
    return result;
}

}  // namespace ostrel::picture
