// Times the send list: a folder of n empty files added as the send-file window and `orvex send`
// add it (SendList::addFolder), then added a second time (every file already listed).
//
//   bench_sendlist [--folder DIR] [COUNT...]    (defaults: the system's temporary folder;
//                                                 10000 100000 500000)
//
// The files lie in subfolders of 1000 each. Making them is not part of the figures.

#include "transfer/sendlist.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int filesPerFolder = 1000;

bool makeTree(const QString &root, int count)
{
    for (int i = 0; i < count; ++i) {
        const QString folder = root + QStringLiteral("/d%1").arg(i / filesPerFolder, 4, 10, QLatin1Char('0'));
        if (i % filesPerFolder == 0 && !QDir().mkpath(folder))
            return false;
        QFile file(folder + QStringLiteral("/file%1.txt").arg(i, 6, 10, QLatin1Char('0')));
        if (!file.open(QIODevice::WriteOnly))
            return false;
    }
    return true;
}

double secondsOf(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    QString base = QDir::tempPath();
    const int folderOption = arguments.indexOf(QStringLiteral("--folder"));
    if (folderOption >= 0 && folderOption + 1 < arguments.size()) {
        base = arguments.at(folderOption + 1);
        arguments.erase(arguments.begin() + folderOption, arguments.begin() + folderOption + 2);
    }
    QList<int> counts;
    for (const QString &argument : qAsConst(arguments))
        counts.append(argument.toInt());
    if (counts.isEmpty())
        counts = { 10000, 100000, 500000 };

    std::printf("%10s %12s %12s %14s\n", "files", "add s", "again s", "files/s");
    for (const int count : qAsConst(counts)) {
        QTemporaryDir dir(base + QStringLiteral("/bench_sendlist-XXXXXX"));
        const QString root = dir.path() + QStringLiteral("/chosen");
        if (count <= 0 || !dir.isValid() || !makeTree(root, count)) {
            std::fprintf(stderr, "could not make %d files below %s\n", count, qPrintable(base));
            return 1;
        }
        SendList manager;
        QElapsedTimer timer;
        timer.start();
        const QVector<SendRefusal> refusals = manager.addFolder(root);
        const double added = secondsOf(timer);
        timer.restart();
        manager.addFolder(root);
        const double again = secondsOf(timer);
        if (!refusals.isEmpty() || manager.size() != count) {
            std::fprintf(stderr, "listed %d of %d files\n", int(manager.size()), count);
            return 1;
        }
        std::printf("%10d %12.3f %12.3f %14.0f\n", count, added, again, count / added);
        std::fflush(stdout);
    }
    return 0;
}
