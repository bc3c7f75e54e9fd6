// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings/aboutsection.h"

#include "ui/settings/formrows.h"
#include "ui/settings/linkbutton.h"
#include "ui/settings/settingsservices.h"
#include "ui/settings/settingstexts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tidewell {

using Texts = SettingsTexts;

namespace {

// Tidewell is free software; the row names its licence and leads to the licence's text.
const QUrl licenseURL(QStringLiteral("https://www.gnu.org/licenses/gpl-3.0.html"));

// An address in the settings reads as a link, in the palette's link colour.
QPushButton* linkButton(const QString& text, const QString& name, QWidget* parent)
{
    auto* button = new LinkButton(text, parent);
    button->setObjectName(name);
    FormRows::tint(button, parent->palette().color(QPalette::Link));
    return button;
}

} // namespace

AboutSection::AboutSection(const SettingsServices& services, QWidget* parent)
    : QGroupBox(Texts::about(), parent)
{
    setObjectName(QStringLiteral("aboutSection"));
    FormRows::sectionLayout(this);
    auto* layout = static_cast<QVBoxLayout*>(this->layout());

    QLabel* version = FormRows::secondary(FormRows::text(
        versionText(services.shortVersion, services.buildVersion), QStringLiteral("versionValue"), this));
    version->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(FormRows::labelled(this, QStringLiteral("versionRow"),
        FormRows::text(Texts::version(), QStringLiteral("versionLabel"), this), version));

    QPushButton* license
        = linkButton(tr("GNU General Public License, version 3 or later"), QStringLiteral("licenseLink"), this);
    connect(license, &QPushButton::clicked, this, [&services] { services.openURL(licenseURL); });
    layout->addWidget(FormRows::labelled(this, QStringLiteral("licenseRow"),
        FormRows::text(tr("License"), QStringLiteral("licenseLabel"), this), license));

    QPushButton* dashboard = linkButton(Texts::webDashboard(), QStringLiteral("webDashboardLink"), this);
    connect(dashboard, &QPushButton::clicked, this, [&services] { services.openURL(services.serverURL); });
    auto* row = new QHBoxLayout;
    row->addWidget(dashboard);
    row->addStretch(1);
    layout->addLayout(row);
}

QString AboutSection::versionText(
    const std::optional<QString>& shortVersion, const std::optional<QString>& buildVersion)
{
    const QString unknown = QStringLiteral("?");
    // A build that is known by its version alone says it once: "1.4.2 (1.4.2)" tells nothing more.
    if (shortVersion && buildVersion == shortVersion)
        return *shortVersion;
    return shortVersion.value_or(unknown) + QStringLiteral(" (") + buildVersion.value_or(unknown) + u')';
}

} // namespace tidewell
