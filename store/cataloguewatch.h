#pragma once

#include <QObject>
#include <memory>

class Connection;
class QSocketNotifier;
struct pg_conn;

// Tells when another program committed a change to the catalogue a connection has open, so
// that a window can show it: on a server, the notice every commit that changed rows sends
// (LISTEN/NOTIFY, received on a connection of its own, so the window's own statements never
// wait for it). The watched connection's own commits are not told. A catalogue file is not watched.
// Nothing here throws: a catalogue that cannot be watched is simply not watched.
class CatalogueWatch : public QObject {
    Q_OBJECT
public:
    explicit CatalogueWatch(QObject *parent = nullptr);
    ~CatalogueWatch() override;

    // Watches the catalogue `connection` has open now, instead of any before.
    void watch(const Connection &connection);
    void stop();
    bool isWatching() const { return m_conn != nullptr; }

signals:
    // Another client committed; sent once for every batch of notices that arrive together.
    void changedElsewhere();

private:
    void readNotices();

    pg_conn *m_conn = nullptr;
    int m_ownBackend = 0; // the server process of the watched connection: its commits are ours
    std::unique_ptr<QSocketNotifier> m_notifier;
};
