// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QGroupBox>
#include <optional>

namespace tidewell {

struct SettingsServices;

// The version, the licence and the way to the web dashboard.
class AboutSection : public QGroupBox
{
    Q_OBJECT
public:
    AboutSection(const SettingsServices& services, QWidget* parent);

    // The short version, " (", the build and ")"; "?" for either that is missing. A build that is the version
    // itself gives the version alone.
    static QString versionText(const std::optional<QString>& shortVersion, const std::optional<QString>& buildVersion);
};

} // namespace tidewell
