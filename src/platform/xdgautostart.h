// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "services/loginitem.h"

#include <QString>
#include <QStringList>

namespace tidewell {

// Start at login on the freedesktop desktops: an autostart entry named after Tidewell's desktop file in the user's
// autostart folder, which every XDG session manager reads at login. The entry starts Tidewell with
// `backgroundArgument`, so that it comes up with its status item and without its window. Enabled means the entry
// exists and is not marked hidden (a user may have switched it off in the desktop's own start-up settings).
class XdgAutostart : public LoginItem
{
public:
    static constexpr auto backgroundArgument = "--background";

    // `configHome` is $XDG_CONFIG_HOME (or its default) and `program` the executable to start; empty values take
    // the running system's and process's.
    explicit XdgAutostart(QString configHome = {}, QString program = {});

    QString entryPath() const;
    bool isEnabled() const override;
    bool setEnabled(bool enabled) override;

    // The Exec value that runs `program` with `arguments`, quoted as desktop entries require.
    static QString execLine(const QString& program, const QStringList& arguments);

private:
    QString m_configHome;
    QString m_program;
};

} // namespace tidewell
