// SPDX-License-Identifier: GPL-3.0-or-later
#include "api/wiredecoder.h"

#include "api/decodingerror.h"

#include <cmath>
#include <simdjson.h>

namespace tidewell {

namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;
using simdjson::dom::object;

// Reused across calls: keeps its buffers, so decoding a page allocates only the records themselves.
simdjson::dom::parser& parser()
{
    thread_local simdjson::dom::parser instance;
    return instance;
}

element parse(QByteArrayView json)
{
    element root;
    // An empty body may come without a buffer at all; simdjson copies from the pointer even for zero bytes.
    const char* bytes = json.data() ? json.data() : "";
    if (auto error = parser().parse(bytes, size_t(json.size())).get(root)) {
        throw DecodingError({},
            QCoreApplication::translate("DecodingError", "the body is not valid JSON (%1)")
                .arg(QString::fromUtf8(simdjson::error_message(error))));
    }
    return root;
}

// Reads the members of one JSON object. `path` prefixes member names in errors ("messages[3].ts").
class Reader
{
public:
    Reader(element value, QString path)
        : m_path(std::move(path))
    {
        if (value.get_object().get(m_object))
            //: Follows the name of a member of the server's data, as in "messages[3].ts" is not an object.
            throw DecodingError(m_path, QCoreApplication::translate("DecodingError", "is not an object"));
    }

    qint64 requiredInt(const char* key) const { return integer(key, present(key)); }
    QString requiredString(const char* key) const { return string(key, present(key)); }
    bool requiredBool(const char* key) const
    {
        bool result = false;
        if (present(key).get_bool().get(result))
            throw fail(key, QCoreApplication::translate("DecodingError", "is not a boolean"));
        return result;
    }
    std::optional<QString> optionalString(const char* key) const
    {
        element value;
        if (m_object.at_key(key).get(value) || value.is_null())
            return std::nullopt;
        return string(key, value);
    }
    simdjson::dom::array requiredArray(const char* key) const
    {
        simdjson::dom::array array;
        if (present(key).get_array().get(array))
            throw fail(key, QCoreApplication::translate("DecodingError", "is not an array"));
        return array;
    }
    // Lenient flag: a boolean, else a non-zero integer, else false. Never fails.
    bool lenientFlag(const char* key) const
    {
        element value;
        if (m_object.at_key(key).get(value))
            return false;
        if (bool flag; !value.get_bool().get(flag))
            return flag;
        if (auto number = asInteger(value))
            return *number != 0;
        return false;
    }

private:
    element present(const char* key) const
    {
        element value;
        if (m_object.at_key(key).get(value))
            throw fail(key, QCoreApplication::translate("DecodingError", "is missing"));
        if (value.is_null())
            throw fail(key, QCoreApplication::translate("DecodingError", "is null"));
        return value;
    }

    // Whole numbers only, including ones written with a fraction or exponent such as 2.0 or 1e3, as long as
    // they fit a signed 64-bit integer.
    static std::optional<qint64> asInteger(element value)
    {
        if (int64_t integer; value.type() == element_type::INT64 && !value.get_int64().get(integer))
            return integer;
        if (double d; value.type() == element_type::DOUBLE && !value.get_double().get(d)) {
            if (std::trunc(d) == d && d >= -9223372036854775808.0 && d < 9223372036854775808.0)
                return qint64(d);
        }
        return std::nullopt;
    }

    qint64 integer(const char* key, element value) const
    {
        if (auto number = asInteger(value))
            return *number;
        throw fail(key, QCoreApplication::translate("DecodingError", "is not a 64-bit integer"));
    }

    QString string(const char* key, element value) const
    {
        std::string_view text;
        if (value.get_string().get(text))
            throw fail(key, QCoreApplication::translate("DecodingError", "is not a string"));
        return QString::fromUtf8(text.data(), qsizetype(text.size()));
    }

    DecodingError fail(const char* key, const QString& problem) const
    {
        const QString name = QString::fromLatin1(key);
        return DecodingError(m_path.isEmpty() ? name : m_path + u'.' + name, problem);
    }

    QString m_path;
    object m_object;
};

// Members are read in a fixed order so that a record with several faults always reports the same one.
Message decodeMessage(element value, QString path)
{
    const Reader r(value, std::move(path));
    Message m;
    m.id = r.requiredInt("id");
    m.title = r.optionalString("title");
    m.message = r.requiredString("message");
    m.priority = r.requiredInt("priority");
    m.url = r.optionalString("url");
    m.sound = r.optionalString("sound");
    m.ts = r.requiredInt("ts");
    m.applicationId = r.requiredInt("application_id");
    m.urlTitle = r.optionalString("url_title");
    return m;
}

AppInfo decodeApp(element value, QString path)
{
    const Reader r(value, std::move(path));
    AppInfo app;
    app.id = r.requiredInt("id");
    app.name = r.requiredString("name");
    app.color = r.requiredString("color");
    app.hasIcon = r.lenientFlag("has_icon");
    return app;
}

QString indexed(const char* prefix, qsizetype index)
{
    return QStringLiteral("%1[%2]").arg(QLatin1String(prefix)).arg(index);
}

} // namespace

Message WireDecoder::message(QByteArrayView json)
{
    return decodeMessage(parse(json), {});
}

AppInfo WireDecoder::appInfo(QByteArrayView json)
{
    return decodeApp(parse(json), {});
}

QList<AppInfo> WireDecoder::appList(QByteArrayView json)
{
    simdjson::dom::array array;
    if (parse(json).get_array().get(array))
        throw DecodingError({}, QCoreApplication::translate("DecodingError", "the application list is not an array"));
    QList<AppInfo> apps;
    apps.reserve(qsizetype(array.size()));
    for (element item : array)
        apps.append(decodeApp(item, indexed("", apps.size())));
    return apps;
}

SyncResponse WireDecoder::syncResponse(QByteArrayView json)
{
    const Reader page(parse(json), {});
    SyncResponse response;
    simdjson::dom::array messages = page.requiredArray("messages");
    response.messages.reserve(qsizetype(messages.size()));
    for (element item : messages)
        response.messages.append(decodeMessage(item, indexed("messages", response.messages.size())));
    response.hasMore = page.requiredBool("has_more");
    return response;
}

} // namespace tidewell
