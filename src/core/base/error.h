// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

namespace tidewell {

// Base of every failure Tidewell raises. description() is the one line a user may be shown; errors from lower
// layers (transport, decoding, storage) travel up unchanged, so callers only ever catch this type.
class Error : public std::exception
{
public:
    explicit Error(QString description);

    const QString& description() const noexcept { return m_description; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_description;
    QByteArray m_utf8;
};

} // namespace tidewell
