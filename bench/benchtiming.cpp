#include "benchtiming.h"

#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n == 0 ? -1 : (n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2);
}

double timedRun(const QStringList &args, const QString &in)
{
    std::vector<QByteArray> bytes;
    for (const QString &a : args)
        bytes.push_back(QFile::encodeName(a));
    std::vector<char *> argv;
    for (QByteArray &b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    const QByteArray inPath = in.isEmpty() ? QByteArray("/dev/null") : QFile::encodeName(in);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, inPath.constData(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    ::sync();
    QElapsedTimer t;
    t.start();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        std::fprintf(stderr, "cannot start %s\n", argv[0]);
        return -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    ::waitpid(pid, &status, 0);
    const double wall = t.nsecsElapsed() / 1e6;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "failed: %s\n", qPrintable(args.join(QLatin1Char(' '))));
        return -1;
    }
    return wall;
}
