// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/error.h"

#include <QNetworkReply>

namespace tidewell {

// The request never produced an HTTP response: refused connection, time-out, TLS failure, dropped connection.
// Carries Qt's error code so tests and callers can tell these apart; the text is Qt's own description.
class TransportError : public Error
{
public:
    TransportError(QNetworkReply::NetworkError code, const QString& description)
        : Error(description)
        , m_code(code)
    { }

    QNetworkReply::NetworkError code() const noexcept { return m_code; }

private:
    QNetworkReply::NetworkError m_code;
};

} // namespace tidewell
