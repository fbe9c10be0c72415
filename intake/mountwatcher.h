#pragma once

#include <QFile>
#include <QObject>

class QSocketNotifier;

// Tells when something is mounted or unmounted: the kernel marks the process's mount table
// as changed, and the event loop sees it without reading the table or polling on a timer.
class MountWatcher : public QObject {
    Q_OBJECT
public:
    explicit MountWatcher(QObject *parent = nullptr);
    ~MountWatcher() override;

signals:
    void mountsChanged();

private:
    QFile m_table;
    QSocketNotifier *m_notifier = nullptr;
};
