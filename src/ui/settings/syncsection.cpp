// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings/syncsection.h"

#include "services/loginitem.h"
#include "state/appstate.h"
#include "state/checkinterval.h"
#include "ui/colours.h"
#include "ui/confirmation.h"
#include "ui/relativetime.h"
#include "ui/settings/formrows.h"
#include "ui/settings/settingsservices.h"
#include "ui/settings/settingstexts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace tidewell {

using Texts = SettingsTexts;

SyncSection::SyncSection(AppState& state, const SettingsServices& services, QWidget* parent)
    : QGroupBox(Texts::sync(), parent)
    , m_state(state)
    , m_services(services)
{
    setObjectName(QStringLiteral("syncSection"));
    FormRows::sectionLayout(this);
    auto* layout = static_cast<QVBoxLayout*>(this->layout());

    auto* lastSyncedValue = new QWidget(this);
    lastSyncedValue->setObjectName(QStringLiteral("lastSyncedGroup"));
    auto* valueLayout = new QHBoxLayout(lastSyncedValue);
    valueLayout->setContentsMargins(0, 0, 0, 0);
    m_syncProgress = FormRows::busyIndicator(QStringLiteral("syncProgress"), lastSyncedValue);
    valueLayout->addWidget(m_syncProgress);
    m_lastSynced = FormRows::secondary(FormRows::text(QString(), QStringLiteral("lastSyncedValue"), lastSyncedValue));
    valueLayout->addWidget(m_lastSynced);
    layout->addWidget(FormRows::labelled(this, QStringLiteral("lastSyncedRow"),
        FormRows::text(Texts::lastSynced(), QStringLiteral("lastSyncedLabel"), this), lastSyncedValue));

    m_lastError = FormRows::text(QString(), QStringLiteral("lastErrorValue"), this);
    m_lastError->setWordWrap(true);
    m_lastError->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_lastError->setTextInteractionFlags(Qt::TextSelectableByMouse);
    FormRows::tint(m_lastError, Colours::negative());
    m_lastErrorRow = FormRows::labelled(this, QStringLiteral("lastErrorRow"),
        FormRows::text(Texts::lastError(), QStringLiteral("lastErrorLabel"), this), m_lastError, 3);
    layout->addWidget(m_lastErrorRow);

    m_syncNow = new QPushButton(Texts::syncNow(), this);
    m_syncNow->setObjectName(QStringLiteral("syncNowButton"));
    connect(m_syncNow, &QPushButton::clicked, this, [this] { m_state.startSync(); });
    m_clearCache = new QPushButton(Texts::clearLocalCache(), this);
    m_clearCache->setObjectName(QStringLiteral("clearCacheButton"));
    FormRows::tint(m_clearCache, Colours::negative());
    connect(m_clearCache, &QPushButton::clicked, this, &SyncSection::confirmClear);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_syncNow);
    buttons->addWidget(m_clearCache);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    addCheckInterval();
    addStartAtLogin();
    layout->addWidget(FormRows::footer(Texts::syncFooter(), QStringLiteral("syncFooter"), this));

    for (auto signal : { &AppState::configChanged, &AppState::isSyncingChanged, &AppState::lastSyncDateChanged,
             &AppState::lastSyncErrorChanged })
        connect(&state, signal, this, &SyncSection::refresh);
    refresh();
}

void SyncSection::addCheckInterval()
{
    m_checkInterval = new QComboBox(this);
    m_checkInterval->setObjectName(QStringLiteral("checkInterval"));
    for (const std::chrono::seconds choice : CheckInterval::choices) {
        m_checkInterval->addItem(Texts::minutes(std::chrono::duration_cast<std::chrono::minutes>(choice).count()),
            static_cast<qlonglong>(choice.count()));
    }
    QWidget* intervalRow = FormRows::labelled(this, QStringLiteral("checkIntervalRow"),
        FormRows::text(Texts::checkEvery(), QStringLiteral("checkIntervalLabel"), this), m_checkInterval);
    layout()->addWidget(intervalRow);
    Preferences* preferences = m_services.preferences;
    if (!preferences) {
        intervalRow->hide();
        return;
    }
    const std::chrono::seconds current = CheckInterval::load(*preferences);
    m_checkInterval->setCurrentIndex(m_checkInterval->findData(static_cast<qlonglong>(current.count())));
    connect(m_checkInterval, &QComboBox::currentIndexChanged, this, [this](int index) {
        const std::chrono::seconds chosen { m_checkInterval->itemData(index).toLongLong() };
        CheckInterval::store(*m_services.preferences, chosen);
        emit checkIntervalChanged(chosen);
    });
}

void SyncSection::addStartAtLogin()
{
    m_startAtLogin = new QCheckBox(Texts::startAtLogin(), this);
    m_startAtLogin->setObjectName(QStringLiteral("startAtLogin"));
    setStatusIconShown(false); // until a status area is known
    layout()->addWidget(m_startAtLogin);
    LoginItem* item = m_services.loginItem;
    if (!item) {
        m_startAtLogin->hide();
        return;
    }
    m_startAtLogin->setChecked(item->isEnabled());
    connect(m_startAtLogin, &QCheckBox::toggled, this, [this](bool enabled) {
        if (m_services.loginItem->setEnabled(enabled))
            return;
        const QSignalBlocker blocker(m_startAtLogin); // the desktop kept what it had; show that
        m_startAtLogin->setChecked(m_services.loginItem->isEnabled());
    });
}

void SyncSection::setStatusIconShown(bool shown)
{
    m_startAtLogin->setToolTip(shown ? Texts::startAtLoginHint() : Texts::startAtLoginHintWithoutStatusIcon());
}

void SyncSection::refresh()
{
    const bool configured = m_state.isConfigured();
    const bool syncing = m_state.isSyncing();
    m_syncProgress->setVisible(syncing);
    m_lastSynced->setVisible(!syncing);
    const std::optional<QDateTime> date = m_state.lastSyncDate();
    m_lastSynced->setText(date ? RelativeTime::dateText(*date) : Texts::never());
    const std::optional<QString> error = m_state.lastSyncError();
    m_lastErrorRow->setVisible(error.has_value());
    m_lastError->setText(error.value_or(QString()));
    m_syncNow->setEnabled(configured && !syncing);
    m_clearCache->setEnabled(configured);
}

void SyncSection::confirmClear()
{
    if (m_clearConfirmation) {
        m_clearConfirmation->raise();
        return;
    }
    const QString name = QStringLiteral("clearConfirmation");
    Confirmation::Question question;
    question.objectName = name;
    question.title = Texts::clearTitle();
    question.message = Texts::clearMessage();
    question.confirm = Texts::clear();
    question.confirmName = name + u"Confirm"_qs;
    question.confirmColour = Colours::negative();
    question.cancel = Texts::cancel();
    question.cancelName = name + u"Cancel"_qs;
    m_clearConfirmation = Confirmation::build(window(), question, [this](bool confirmed) {
        if (confirmed)
            m_state.clearCache();
    });
    m_clearConfirmation->open();
}

} // namespace tidewell
