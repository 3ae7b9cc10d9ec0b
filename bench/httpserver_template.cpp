// Time to fill in the file list page of the web server for many rows.
// Usage: bench_httpserver_template [rows, default 20000]
// Renders a list page in the shape of etc/templates/files.html (one loop, four variables per row)
// with 1000, 5000 and the given number of rows; prints the best of three runs for each.
#include "httpserver/template.h"

#include <QElapsedTimer>
#include <QString>

#include <algorithm>
#include <cstdio>

namespace {

const char *const page = "<!DOCTYPE html><html><body><ul>\n{loop row}\n"
                         "<li><a class=\"file\" href=\"/download/{row.url}\" download title=\"{row.bytes} bytes\">\n"
                         "<span class=\"icon\"><svg viewBox=\"0 0 24 24\"><path d=\"M6 2h8l6 6v12a2 2 0 0 1-2 2H6a2 2 "
                         "0 0 1-2-2V4a2 2 0 0 1 2-2z\"/></svg></span>\n"
                         "<span class=\"name\">{row.name}</span>\n<span class=\"size\">{row.size}</span>\n"
                         "</a></li>\n{else row}\n<li class=\"empty\">none</li>\n{end row}\n</ul></body></html>\n";

// Milliseconds for one page of rows rows, and its size in bytes.
double renderMs(int rows, qint64 *bytes)
{
    QElapsedTimer timer;
    timer.start();
    tarsel::Template t(QString::fromUtf8(page), QStringLiteral("files"));
    t.loop(QStringLiteral("row"), rows);
    for (int i = 0; i < rows; ++i) {
        const QString row = QStringLiteral("row%1.").arg(i);
        const QString name = QStringLiteral("文件-%1.jpg").arg(i);
        t.setVariable(row + QStringLiteral("name"), name);
        t.setVariable(row + QStringLiteral("url"), name);
        t.setVariable(row + QStringLiteral("bytes"), QString::number(i * 1024));
        t.setVariable(row + QStringLiteral("size"), QString::number(i) + QStringLiteral("KB"));
    }
    *bytes = t.toUtf8().size();
    return timer.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    const int largest = argc > 1 ? QByteArray(argv[1]).toInt() : 20000;
    for (const int rows : { 1000, 5000, largest }) {
        double best = 1e300;
        qint64 bytes = 0;
        for (int run = 0; run < 3; ++run)
            best = std::min(best, renderMs(rows, &bytes));
        std::printf("%6d rows: %8.1f ms, page of %lld bytes\n", rows, best, static_cast<long long>(bytes));
    }
    return 0;
}
