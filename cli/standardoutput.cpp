#include "cli/standardoutput.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace standardoutput {

namespace {

int s_firstError = 0;

ssize_t writeAll(void *, const char *data, size_t size)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(STDOUT_FILENO, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (s_firstError == 0)
                s_firstError = n < 0 ? errno : EIO;
            return done > 0 ? ssize_t(done) : -1;
        }
        done += size_t(n);
    }
    return ssize_t(done);
}

} // namespace

void install()
{
    const cookie_io_functions_t functions = { nullptr, writeAll, nullptr, nullptr };
    FILE *stream = fopencookie(nullptr, "w", functions);
    if (!stream)
        return; // the library's own stdout then; only the reason may be lost
    std::setvbuf(stream, nullptr, isatty(STDOUT_FILENO) ? _IOLBF : _IOFBF, 1 << 16);
    std::fflush(stdout);
    stdout = stream;
}

int finish()
{
    errno = 0;
    const bool failed = std::fflush(stdout) != 0 || std::ferror(stdout);
    if (!failed)
        return 0;
    return s_firstError != 0 ? s_firstError : (errno != 0 ? errno : EIO);
}

} // namespace standardoutput
