#pragma once

#include <QString>

class Connection;

// The connection's settings for the length of a scan, given back afterwards: a page cache
// that holds the index pages (files come in directory order, not key order), and the
// statement journals of the multi-row inserts kept in memory rather than in a temporary
// file (the program keeps no temporary tables that the change could drop).
class ScanSettings {
public:
    ScanSettings(Connection &connection, int cacheKiB);
    ~ScanSettings();
    ScanSettings(const ScanSettings &) = delete;
    ScanSettings &operator=(const ScanSettings &) = delete;

private:
    void set(const QString &name, const QString &value);

    Connection &m_connection;
    int m_cacheSize;
    int m_tempStore;
};
