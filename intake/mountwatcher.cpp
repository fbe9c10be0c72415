#include "intake/mountwatcher.h"

#include <QSocketNotifier>

MountWatcher::MountWatcher(QObject *parent)
    : QObject(parent), m_table(QStringLiteral("/proc/self/mountinfo"))
{
    // Without the table (another system) nothing is told; the trees still decide at each load.
    if (!m_table.open(QIODevice::ReadOnly))
        return;
    // The table's file reports a change as an exceptional condition, once per change.
    m_notifier = new QSocketNotifier(m_table.handle(), QSocketNotifier::Exception, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { emit mountsChanged(); });
}

MountWatcher::~MountWatcher() = default;
