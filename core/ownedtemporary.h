#pragma once

#include <QByteArray>
#include <QString>

// The hidden temporaries that files are written to before they are renamed into place
// (thumbnails, copies). Each is named after its writing process, ".NAME.PID.RANDOM.tmp",
// so that those a killed process left behind can be told from those of a writer still at
// work and removed by the next writer in that folder.
//
// While a temporary is being written, an OwnedTemporary publishes its path; under a
// SignalCleanup, SIGINT, SIGTERM and SIGHUP remove the published temporaries before they end
// the process as they would have.
class OwnedTemporary {
public:
    // A fresh temporary name beside target, owned by this process.
    static QString nameFor(const QString &target);
    // True when fileName (a name, no folder) is such a temporary and its process has ended.
    static bool isAbandoned(const QString &fileName);
    // Removes the abandoned temporaries in folder; returns how many.
    static int removeAbandoned(const QString &folder);

    explicit OwnedTemporary(const QByteArray &path);
    ~OwnedTemporary();
    OwnedTemporary(const OwnedTemporary &) = delete;
    OwnedTemporary &operator=(const OwnedTemporary &) = delete;

    // While it lives, the signals that end a process remove the published temporaries
    // first. A signal the process ignores stays ignored.
    class SignalCleanup {
    public:
        SignalCleanup();
        ~SignalCleanup();
        SignalCleanup(const SignalCleanup &) = delete;
        SignalCleanup &operator=(const SignalCleanup &) = delete;

    private:
        struct Saved;
        Saved *m_saved;
    };

private:
    int m_slot = -1;
};
