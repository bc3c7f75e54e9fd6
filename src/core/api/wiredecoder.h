// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "api/appinfo.h"
#include "api/message.h"
#include "api/syncresponse.h"

#include <QByteArrayView>
#include <QList>

namespace tidewell {

// Turns server bodies into wire records. Every rule about missing, null and mistyped members lives here; a body
// that breaks one raises DecodingError naming the member. Pages are the hot path of a sync, so this parses with
// simdjson rather than QJsonDocument (about ten times faster on a 200-message page).
class WireDecoder
{
public:
    static Message message(QByteArrayView json);
    static AppInfo appInfo(QByteArrayView json);
    static QList<AppInfo> appList(QByteArrayView json);
    static SyncResponse syncResponse(QByteArrayView json);
};

} // namespace tidewell
