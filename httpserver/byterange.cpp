#include "byterange.h"

#include "httpserver/httprequest.h"

#include <QLocale>

namespace tarsel {

namespace {

const QString httpDateFormat = QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'");

// A non-empty run of digits that fits the type; -1 otherwise.
qint64 position(const QByteArray &text)
{
    if (text.isEmpty())
        return -1;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return -1;
    }
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    return ok ? value : -1;
}

bool validatorMatches(const QByteArray &validator, const QByteArray &etag, const QDateTime &lastModified)
{
    // Entity tags compare strongly: a weak one never matches.
    if (validator.startsWith('"') || validator.startsWith("W/"))
        return validator == etag;
    QDateTime date = QLocale::c().toDateTime(QString::fromLatin1(validator), httpDateFormat);
    if (!date.isValid() || !lastModified.isValid())
        return false;
    date.setTimeSpec(Qt::UTC);
    return date.toSecsSinceEpoch() == lastModified.toSecsSinceEpoch();
}

} // namespace

QByteArray ByteRange::contentRange(qint64 size) const
{
    if (kind == Unsatisfiable)
        return "bytes */" + QByteArray::number(size);
    return "bytes " + QByteArray::number(first) + '-' + QByteArray::number(last) + '/' + QByteArray::number(size);
}

ByteRange ByteRange::fromHeader(const QByteArray &header, qint64 size)
{
    const QByteArray value = header.trimmed();
    if (value.left(6).toLower() != "bytes=" || value.contains(','))
        return {};
    const QByteArray bounds = value.mid(6).trimmed();
    const int dash = bounds.indexOf('-');
    if (dash < 0)
        return {};
    const QByteArray start = bounds.left(dash).trimmed();
    const QByteArray end = bounds.mid(dash + 1).trimmed();

    if (start.isEmpty()) {
        const qint64 suffix = position(end);
        if (suffix < 0)
            return {};
        if (suffix == 0 || size == 0)
            return { Unsatisfiable, 0, -1 };
        return { Partial, qMax<qint64>(0, size - suffix), size - 1 };
    }
    const qint64 first = position(start);
    const qint64 last = end.isEmpty() ? size - 1 : position(end);
    if (first < 0 || last < 0 || (!end.isEmpty() && last < first))
        return {};
    if (first >= size)
        return { Unsatisfiable, 0, -1 };
    return { Partial, first, qMin(last, size - 1) };
}

ByteRange ByteRange::forRequest(
    const HttpRequest &request, qint64 size, const QByteArray &etag, const QDateTime &lastModified)
{
    const QByteArray range = request.header("Range");
    if (range.isEmpty())
        return {};
    const QByteArray validator = request.header("If-Range").trimmed();
    if (!validator.isEmpty() && !validatorMatches(validator, etag, lastModified))
        return {};
    return fromHeader(range, size);
}

QByteArray httpDate(const QDateTime &time)
{
    return QLocale::c().toString(time.toUTC(), httpDateFormat).toLatin1();
}

} // namespace tarsel
