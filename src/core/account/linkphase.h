// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMetaType>
#include <QString>

namespace tidewell {

// Where the browser-linking flow stands. `failed` carries the one line that says why.
struct LinkPhase
{
    enum class Kind
    {
        Idle,
        Waiting,
        Failed
    };

    Kind kind = Kind::Idle;
    QString message; // only for Failed

    static LinkPhase idle() { return {}; }
    static LinkPhase waiting() { return { Kind::Waiting, {} }; }
    static LinkPhase failed(QString message) { return { Kind::Failed, std::move(message) }; }

    friend bool operator==(const LinkPhase&, const LinkPhase&) = default;
};

} // namespace tidewell

Q_DECLARE_METATYPE(tidewell::LinkPhase)
