#pragma once

#include "jpegconv.h"

#include <csetjmp>
#include <cstdio>

extern "C" {
#include <jpeglib.h>
}

// The error handling both thumbnail writers give libjpeg. Its default error_exit ends the
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

// The error a libjpeg message code stands for: "JPEG error #N".
inline JpegError codeError(int code)
{
    return JpegError(QStringLiteral("JPEG error #%1").arg(code), code);
}

} // namespace jpegerrors
