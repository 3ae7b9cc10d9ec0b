#include "httpcookie.h"

#include "httpserver/httplogging.h"

namespace tarsel {

HttpCookie::HttpCookie() = default;

HttpCookie::HttpCookie(const QByteArray &name, const QByteArray &value, int maxAge, const QByteArray &path,
    const QByteArray &comment, const QByteArray &domain, bool secure, bool httpOnly, const QByteArray &sameSite)
    : m_name(name)
    , m_value(value)
    , m_comment(comment)
    , m_domain(domain)
    , m_maxAge(maxAge)
    , m_path(path)
    , m_secure(secure)
    , m_httpOnly(httpOnly)
    , m_sameSite(sameSite)
{
}

HttpCookie::HttpCookie(const QByteArray &source)
{
    const QList<QByteArray> parts = splitAttributeList(source);
    for (const QByteArray &part : parts) {
        QByteArray name;
        QByteArray value;
        const int posi = part.indexOf('=');
        if (posi >= 0) {
            name = part.left(posi).trimmed();
            value = part.mid(posi + 1).trimmed();
        } else {
            name = part.trimmed();
        }

        if (name == "Comment") {
            m_comment = value;
        } else if (name == "Domain") {
            m_domain = value;
        } else if (name == "Max-Age") {
            m_maxAge = value.toInt();
        } else if (name == "Path") {
            m_path = value;
        } else if (name == "Secure") {
            m_secure = true;
        } else if (name == "HttpOnly") {
            m_httpOnly = true;
        } else if (name == "SameSite") {
            m_sameSite = value;
        } else if (name == "Version") {
            m_version = value.toInt();
        } else if (m_name.isEmpty()) {
            m_name = name;
            m_value = value;
        } else {
            qCWarning(lcHttp, "HttpCookie: Ignoring unknown %s=%s", name.constData(), value.constData());
        }
    }
}

QByteArray HttpCookie::toByteArray() const
{
    QByteArray buffer(m_name);
    buffer.append('=');
    buffer.append(m_value);
    if (!m_comment.isEmpty())
        buffer.append("; Comment=").append(m_comment);
    if (!m_domain.isEmpty())
        buffer.append("; Domain=").append(m_domain);
    if (m_maxAge != 0)
        buffer.append("; Max-Age=").append(QByteArray::number(m_maxAge));
    if (!m_path.isEmpty())
        buffer.append("; Path=").append(m_path);
    if (m_secure)
        buffer.append("; Secure");
    if (m_httpOnly)
        buffer.append("; HttpOnly");
    if (!m_sameSite.isEmpty())
        buffer.append("; SameSite=").append(m_sameSite);
    buffer.append("; Version=").append(QByteArray::number(m_version));
    return buffer;
}

QList<QByteArray> HttpCookie::splitAttributeList(const QByteArray &source)
{
    QList<QByteArray> list;
    QByteArray part;
    bool inQuotes = false;
    const auto addPart = [&list](const QByteArray &candidate) {
        const QByteArray trimmed = candidate.trimmed();
        if (!trimmed.isEmpty())
            list.append(trimmed);
    };
    for (const char c : source) {
        if (inQuotes) {
            if (c == '"')
                inQuotes = false;
            else
                part.append(c);
        } else if (c == '"') {
            inQuotes = true;
        } else if (c == ';') {
            addPart(part);
            part.clear();
        } else {
            part.append(c);
        }
    }
    addPart(part);
    return list;
}

} // namespace tarsel
