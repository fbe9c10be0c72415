#include "batch/secretmemory.h"

#include <cstring>
#include <sys/prctl.h>

void protectSecretsInMemory()
{
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
}

void wipeSecret(QByteArray &bytes)
{
    // A shared buffer belongs to other copies too: only our own is overwritten.
    if (!bytes.isDetached())
        bytes.clear();
    else if (!bytes.isEmpty())
        ::explicit_bzero(bytes.data(), size_t(bytes.size()));
    bytes.clear();
}

void wipeSecret(QString &text)
{
    if (!text.isDetached())
        text.clear();
    else if (!text.isEmpty())
        ::explicit_bzero(text.data(), size_t(text.size()) * sizeof(QChar));
    text.clear();
}
