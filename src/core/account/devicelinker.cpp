// SPDX-License-Identifier: GPL-3.0-or-later
#include "account/devicelinker.h"

#include "net/jsonsyntaxerror.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

namespace tidewell {

namespace {

using LinkError = DeviceLinker::LinkError;

namespace Texts {

QString http(int status)
{
    return QCoreApplication::translate("DeviceLinker", "Server returned HTTP %1").arg(status);
}

QString badResponse()
{
    return QCoreApplication::translate("DeviceLinker", "Unexpected server response");
}

QString badURL()
{
    return QCoreApplication::translate("DeviceLinker", "Invalid server URL");
}

QString notJson(const QString& parserMessage)
{
    return QCoreApplication::translate("DeviceLinker", "The server's answer is not JSON: %1").arg(parserMessage);
}

} // namespace Texts

constexpr qint64 defaultExpiresIn = 600;

// The body of a 2xx answer as an object. A body the parser cannot read at all is a different fault from a body of
// the wrong shape, so the two get different errors.
QJsonObject parseObject(const QByteArray& body)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError)
        throw JsonSyntaxError(Texts::notJson(error.errorString()));
    if (!document.isObject())
        throw LinkError::badResponse();
    return document.object();
}

QString requiredString(const QJsonObject& object, QLatin1StringView member)
{
    const QJsonValue value = object.value(member);
    if (!value.isString())
        throw LinkError::badResponse();
    return value.toString();
}

} // namespace

DeviceLinker::Start DeviceLinker::decodeStart(const QByteArray& body)
{
    const QJsonObject object = parseObject(body);
    DeviceLinker::Start start;
    start.code = requiredString(object, QLatin1StringView("code"));
    start.pollToken = requiredString(object, QLatin1StringView("poll_token"));
    // A token that can never be written into a header makes the whole request useless; saying so now beats
    // polling in vain until the request expires.
    if (!HttpTransport::isHeaderSafe(start.pollToken))
        throw LinkError::badResponse();
    // Any other type, or a number with a fraction or beyond 64 bits, is ignored rather than refused.
    start.expiresIn = object.value(QLatin1StringView("expires_in")).toInteger(defaultExpiresIn);
    return start;
}

DeviceLinker::PollResult DeviceLinker::decodePoll(const QByteArray& body)
{
    const QJsonObject object = parseObject(body);
    const QString status = requiredString(object, QLatin1StringView("status"));
    if (status == QLatin1StringView("approved")) {
        const QString secret = requiredString(object, QLatin1StringView("secret"));
        // Stored, such a secret would be refused by every request that tried to send it.
        if (!HttpTransport::isHeaderSafe(secret))
            throw LinkError::badResponse();
        return DeviceLinker::PollResult::approved(secret);
    }
    if (status == QLatin1StringView("expired"))
        return DeviceLinker::PollResult::expired();
    // Unknown states are treated as "not decided yet" so that a server adding one does not break linking.
    return DeviceLinker::PollResult::pending();
}

namespace {

// Only 2xx answers carry a body worth reading; anything else, including a reply without an HTTP status, fails
// with the status alone.
QByteArray acceptedBody(const HttpTransport::Reply& reply)
{
    if (const std::optional<int> failed = HttpTransport::failedStatus(reply))
        throw LinkError::http(*failed);
    return reply.body;
}

// The request coroutines are free functions taking everything by value, so that they never depend on the
// DeviceLinker that started them outliving the request.
QCoro::Task<DeviceLinker::Start> requestStart(
    QUrl serverURL, QNetworkAccessManager* session, std::chrono::milliseconds timeout, std::stop_token stop)
{
    const std::optional<QUrl> url = HttpTransport::endpoint(serverURL, QStringLiteral("/api/link"));
    if (!url)
        throw LinkError::badURL();

    QNetworkRequest request = HttpTransport::makeRequest(*url, timeout);
    QByteArray method("POST");
    std::optional<QByteArray> noBody;
    const HttpTransport::Reply reply
        = co_await HttpTransport::send(session, std::move(request), std::move(method), std::move(noBody), stop);
    co_return DeviceLinker::decodeStart(acceptedBody(reply));
}

QCoro::Task<DeviceLinker::PollResult> requestPoll(QUrl serverURL, QNetworkAccessManager* session,
    std::chrono::milliseconds timeout, QString pollToken, std::stop_token stop)
{
    const std::optional<QUrl> url = HttpTransport::endpoint(serverURL, QStringLiteral("/api/link/poll"));
    if (!url)
        throw LinkError::badURL();
    // The token came from the server; one that would break out of its header line is the server's fault.
    if (!HttpTransport::isHeaderSafe(pollToken))
        throw LinkError::badResponse();

    QNetworkRequest request = HttpTransport::makeRequest(*url, timeout);
    request.setRawHeader("Authorization", "Bearer " + pollToken.toUtf8());
    QByteArray method("GET");
    std::optional<QByteArray> noBody;
    const HttpTransport::Reply reply
        = co_await HttpTransport::send(session, std::move(request), std::move(method), std::move(noBody), stop);
    co_return DeviceLinker::decodePoll(acceptedBody(reply));
}

} // namespace

const QString& DeviceLinker::codeAllowed()
{
    static const QString alphabet = QStringLiteral("0123456789ABCDEFGHJKMNPQRSTVWXYZabcdefghjkmnpqrstvwxyz");
    return alphabet;
}

DeviceLinker::LinkError::LinkError(Kind kind, int status, QString description)
    : Error(std::move(description))
    , m_kind(kind)
    , m_status(status)
{ }

DeviceLinker::LinkError DeviceLinker::LinkError::http(int status)
{
    return LinkError(Kind::Http, status, Texts::http(status));
}

DeviceLinker::LinkError DeviceLinker::LinkError::badResponse()
{
    return LinkError(Kind::BadResponse, 0, Texts::badResponse());
}

DeviceLinker::LinkError DeviceLinker::LinkError::badURL()
{
    return LinkError(Kind::BadURL, 0, Texts::badURL());
}

DeviceLinker::DeviceLinker(QUrl serverURL, QNetworkAccessManager* session, std::chrono::milliseconds timeout)
    : m_serverURL(std::move(serverURL))
    , m_session(session)
    , m_timeout(timeout)
{ }

QCoro::Task<DeviceLinker::Start> DeviceLinker::start(std::stop_token stop)
{
    return requestStart(m_serverURL, m_session, m_timeout, std::move(stop));
}

QCoro::Task<DeviceLinker::PollResult> DeviceLinker::poll(QString pollToken, std::stop_token stop)
{
    return requestPoll(m_serverURL, m_session, m_timeout, std::move(pollToken), std::move(stop));
}

std::optional<QUrl> DeviceLinker::approveURL(const QString& code) const
{
    const QString trimmed = code.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    const QString& alphabet = codeAllowed();
    if (!std::all_of(trimmed.begin(), trimmed.end(), [&alphabet](QChar c) { return alphabet.contains(c); }))
        return std::nullopt;
    // In the fragment, the code stays in the browser: the server's page reads it, the request line never has it.
    return HttpTransport::endpoint(m_serverURL, QStringLiteral("/#pair/") + trimmed);
}

} // namespace tidewell
