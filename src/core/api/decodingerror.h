// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/error.h"

#include <QCoreApplication>

namespace tidewell {

// A server body that does not have the shape Tidewell expects. Names the member and what was wrong with it, so a
// log line or a banner points at the actual fault.
class DecodingError : public Error
{
public:
    DecodingError(QString member, QString problem)
        : Error(member.isEmpty()
                ? QCoreApplication::translate("DecodingError", "The server's data could not be read: %1").arg(problem)
                //: %1 is a member of the server's data, such as "messages[3].ts"; %2 what is wrong with it.
                : QCoreApplication::translate("DecodingError", "The server's data could not be read: \"%1\" %2")
                      .arg(member, problem))
        , m_member(std::move(member))
        , m_problem(std::move(problem))
    { }

    const QString& member() const noexcept { return m_member; }
    const QString& problem() const noexcept { return m_problem; }

private:
    QString m_member;
    QString m_problem;
};

} // namespace tidewell
