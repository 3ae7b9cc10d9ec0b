#pragma once

#include <QByteArray>
#include <QList>

namespace tarsel {

// One cookie: formats itself as a "Set-Cookie" value and parses one.
class HttpCookie
{
public:
    HttpCookie();
    HttpCookie(const QByteArray &name, const QByteArray &value, int maxAge, const QByteArray &path = QByteArray(),
        const QByteArray &comment = QByteArray(), const QByteArray &domain = QByteArray(), bool secure = false,
        bool httpOnly = false, const QByteArray &sameSite = QByteArray());
    // Parses a "Set-Cookie" style text: name=value; Attribute=...; Flag
    explicit HttpCookie(const QByteArray &source);

    QByteArray toByteArray() const;

    // Splits at semicolons outside double quotes; drops the quotes, trims, skips empty parts.
    static QList<QByteArray> splitAttributeList(const QByteArray &source);

    void setName(const QByteArray &name) { m_name = name; }
    void setValue(const QByteArray &value) { m_value = value; }
    void setComment(const QByteArray &comment) { m_comment = comment; }
    void setDomain(const QByteArray &domain) { m_domain = domain; }
    void setMaxAge(int maxAge) { m_maxAge = maxAge; }
    void setPath(const QByteArray &path) { m_path = path; }
    void setSecure(bool secure) { m_secure = secure; }
    void setHttpOnly(bool httpOnly) { m_httpOnly = httpOnly; }
    void setSameSite(const QByteArray &sameSite) { m_sameSite = sameSite; }
    void setVersion(int version) { m_version = version; }

    QByteArray name() const { return m_name; }
    QByteArray value() const { return m_value; }
    QByteArray comment() const { return m_comment; }
    QByteArray domain() const { return m_domain; }
    int maxAge() const { return m_maxAge; }
    QByteArray path() const { return m_path; }
    bool secure() const { return m_secure; }
    bool httpOnly() const { return m_httpOnly; }
    QByteArray sameSite() const { return m_sameSite; }
    int version() const { return m_version; }

private:
    QByteArray m_name;
    QByteArray m_value;
    QByteArray m_comment;
    QByteArray m_domain;
    int m_maxAge = 0;
    QByteArray m_path;
    bool m_secure = false;
    bool m_httpOnly = false;
    QByteArray m_sameSite;
    int m_version = 1;
};

} // namespace tarsel
