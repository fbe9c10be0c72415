#include "core/ownedtemporary.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <iterator>

#include <unistd.h>

namespace {

bool processIsAlive(qint64 pid)
{
    if (pid <= 0 || pid > 0x7fffffff)
        return false;
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

// The paths the signal handler may read: a slot is filled, then marked published, so the
// handler never reads a path being written.
enum SlotState : int { Free = 0, Filling = 1, Published = 2 };
struct Slot {
    std::atomic<int> state { Free };
    char path[PATH_MAX];
};
constexpr int kSlots = 32;
Slot s_slots[kSlots];

constexpr int kEndingSignals[] = { SIGINT, SIGTERM, SIGHUP };

extern "C" void removePublishedAndEnd(int signal)
{
    for (Slot &slot : s_slots)
        if (slot.state.load(std::memory_order_acquire) == Published)
            ::unlink(slot.path);
    struct sigaction byDefault = {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    ::sigaction(signal, &byDefault, nullptr);
    ::raise(signal); // delivered once the handler returns
}

} // namespace

QString OwnedTemporary::nameFor(const QString &target)
{
    const QFileInfo info(target);
    return info.dir().filePath(
        QStringLiteral(".%1.%2.%3.tmp")
            .arg(info.fileName())
            .arg(QCoreApplication::applicationPid())
            .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
}

bool OwnedTemporary::isAbandoned(const QString &fileName)
{
    static const QRegularExpression temporary(QStringLiteral("^\\..+\\.(\\d+)\\.[0-9a-f]+\\.tmp$"));
    const QRegularExpressionMatch m = temporary.match(fileName);
    return m.hasMatch() && !processIsAlive(m.captured(1).toLongLong());
}

int OwnedTemporary::removeAbandoned(const QString &folder)
{
    int removed = 0;
    const QDir dir(folder);
    const QStringList names
        = dir.entryList({ QStringLiteral(".*.tmp") }, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names)
        if (isAbandoned(name) && QFile::remove(dir.filePath(name)))
            ++removed;
    return removed;
}

OwnedTemporary::OwnedTemporary(const QByteArray &path)
{
    if (path.size() >= PATH_MAX)
        return;
    for (int i = 0; i < kSlots; ++i) {
        int expected = Free;
        if (s_slots[i].state.compare_exchange_strong(expected, Filling)) {
            std::memcpy(s_slots[i].path, path.constData(), size_t(path.size()) + 1);
            s_slots[i].state.store(Published, std::memory_order_release);
            m_slot = i;
            return;
        }
    }
}

OwnedTemporary::~OwnedTemporary()
{
    if (m_slot >= 0)
        s_slots[m_slot].state.store(Free, std::memory_order_release);
}

struct OwnedTemporary::SignalCleanup::Saved {
    struct sigaction previous[std::size(kEndingSignals)];
    bool installed[std::size(kEndingSignals)] = {};
};

OwnedTemporary::SignalCleanup::SignalCleanup() : m_saved(new Saved)
{
    struct sigaction action = {};
    action.sa_handler = removePublishedAndEnd;
    sigemptyset(&action.sa_mask);
    for (int s : kEndingSignals)
        sigaddset(&action.sa_mask, s);
    for (size_t i = 0; i < std::size(kEndingSignals); ++i) {
        struct sigaction &previous = m_saved->previous[i];
        if (::sigaction(kEndingSignals[i], nullptr, &previous) != 0
            || previous.sa_handler == SIG_IGN)
            continue;
        m_saved->installed[i] = ::sigaction(kEndingSignals[i], &action, nullptr) == 0;
    }
}

OwnedTemporary::SignalCleanup::~SignalCleanup()
{
    for (size_t i = 0; i < std::size(kEndingSignals); ++i)
        if (m_saved->installed[i])
            ::sigaction(kEndingSignals[i], &m_saved->previous[i], nullptr);
    delete m_saved;
}
