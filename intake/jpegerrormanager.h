#pragma once

#include "intake/jpegerror.h"

#include <csetjmp>
#include <cstdio>

extern "C" {
#include <jpeglib.h>
}

// What both thumbnail writers share on libjpeg: the error handling and the encoding.
// The error handling: Its default error_exit ends the
// process; ours jumps back to the caller, which reports the message code. Warnings (corrupt
// or truncated data) are only counted: the decoder goes on and fills what is missing with
// grey, as picture viewers do. Nothing with a destructor may live in a frame it jumps to.
namespace jpegerrors {

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] inline void errorExit(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorManager *>(cinfo->err)->jump, 1);
}

inline void emitMessage(j_common_ptr cinfo, int level)
{
    if (level < 0)
        ++cinfo->err->num_warnings;
}

inline void outputMessage(j_common_ptr) { }

inline void installErrorManager(ErrorManager &err)
{
    jpeg_std_error(&err.pub);
    err.pub.error_exit = errorExit;
    err.pub.emit_message = emitMessage;
    err.pub.output_message = outputMessage;
}

// The encoding of every thumbnail: 24-bit colour, baseline, quality 90, 72 dpi. Colour is
// kept at full resolution: at thumbnail size halved chroma visibly smears edges.
inline void setThumbnailEncoding(jpeg_compress_struct &cinfo, int width, int height)
{
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    cinfo.comp_info[0].h_samp_factor = 1;
    cinfo.comp_info[0].v_samp_factor = 1;
    cinfo.optimize_coding = TRUE;
    cinfo.dct_method = JDCT_ISLOW;
    cinfo.density_unit = 1;
    cinfo.X_density = 72;
    cinfo.Y_density = 72;
}

// The error a libjpeg message code stands for: "JPEG error #N".
inline JpegError codeError(int code)
{
    return JpegError(QStringLiteral("JPEG error #%1").arg(code), code);
}

} // namespace jpegerrors
