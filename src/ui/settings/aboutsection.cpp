#include "ui/settings/aboutsection.h"

#include "ui/settings/formrows.h"
#include "ui/settings/settingsservices.h"
#include "ui/settings/settingstexts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tidewell {

using Texts = SettingsTexts;

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

    auto* dashboard = new QPushButton(Texts::webDashboard(), this);
    dashboard->setObjectName(QStringLiteral("webDashboardLink"));
    dashboard->setFlat(true);
    dashboard->setCursor(Qt::PointingHandCursor);
    QFont font = dashboard->font();
    font.setUnderline(true);
    dashboard->setFont(font);
    FormRows::tint(dashboard, palette().color(QPalette::Link));
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
