#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>

#include <unistd.h>

namespace testsupport {

// Makes a file or a folder unwritable for the life of the object: by permissions, or for
// the superuser, whom permissions do not stop, by the file system's immutable mark. Some
// file systems (overlays in containers) refuse that mark: effective() says whether it held.
class Unwritable {
public:
    explicit Unwritable(const QString &path) : m_path(path), m_folder(QFileInfo(path).isDir())
    {
        if (::geteuid() == 0)
            QProcess::execute(QStringLiteral("chattr"), { QStringLiteral("+i"), path });
        else
            QFile::setPermissions(path,
                QFileDevice::ReadOwner | QFileDevice::ReadGroup
                    | (m_folder ? QFileDevice::ExeOwner | QFileDevice::ExeGroup
                                : QFileDevice::Permissions()));
        if (m_folder) {
            QFile probe(QDir(path).filePath(QStringLiteral(".unwritable-probe")));
            m_effective = !probe.open(QIODevice::WriteOnly);
            if (!m_effective)
                probe.remove();
        } else {
            QFile probe(path);
            m_effective = !probe.open(QIODevice::WriteOnly | QIODevice::Append);
        }
    }
    ~Unwritable() { release(); }
    Unwritable(const Unwritable &) = delete;
    Unwritable &operator=(const Unwritable &) = delete;

    bool effective() const { return m_effective; }

    // Writable again before the end of the scope.
    void release()
    {
        if (m_released)
            return;
        m_released = true;
        if (::geteuid() == 0)
            QProcess::execute(QStringLiteral("chattr"), { QStringLiteral("-i"), m_path });
        QFile::setPermissions(m_path,
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                | (m_folder ? QFileDevice::ExeOwner | QFileDevice::ExeGroup
                            : QFileDevice::Permissions()));
    }

private:
    QString m_path;
    bool m_folder;
    bool m_effective = false;
    bool m_released = false;
};

} // namespace testsupport
