// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings/connectionsection.h"

#include "state/appstate.h"
#include "ui/colours.h"
#include "ui/confirmation.h"
#include "ui/icons.h"
#include "ui/settings/formrows.h"
#include "ui/settings/settingsservices.h"
#include "ui/settings/settingstexts.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace tidewell {

using Texts = SettingsTexts;

namespace {

// A button on a line of its own, at the start.
void addButtonRow(QVBoxLayout* layout, QPushButton* button)
{
    auto* row = new QHBoxLayout;
    row->addWidget(button);
    row->addStretch(1);
    layout->addLayout(row);
}

} // namespace

ConnectionSection::ConnectionSection(AppState& state, const SettingsServices& services, QWidget* parent)
    : QGroupBox(Texts::connection(), parent)
    , m_state(state)
    , m_services(services)
{
    setObjectName(QStringLiteral("connectionSection"));
    FormRows::sectionLayout(this);
    auto* layout = static_cast<QVBoxLayout*>(this->layout());

    auto* linkedLabel = new QWidget(this);
    linkedLabel->setObjectName(QStringLiteral("linkedLabelGroup"));
    auto* linkedLayout = new QHBoxLayout(linkedLabel);
    linkedLayout->setContentsMargins(0, 0, 0, 0);
    QLabel* linkedIcon = FormRows::icon(
        QIcon::fromTheme(QStringLiteral("emblem-ok-symbolic"), style()->standardIcon(QStyle::SP_DialogApplyButton)),
        linkedLabel, Colours::positive());
    linkedIcon->setObjectName(QStringLiteral("linkedIcon"));
    linkedLayout->addWidget(linkedIcon);
    QLabel* linkedText = FormRows::text(Texts::linked(), QStringLiteral("linkedLabel"), linkedLabel);
    FormRows::tint(linkedText, Colours::positive());
    linkedLayout->addWidget(linkedText);
    m_linkedHost = FormRows::secondary(FormRows::text(QString(), QStringLiteral("linkedHost"), this));
    m_linkedHost->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_linkedRow = FormRows::labelled(this, QStringLiteral("linkedRow"), linkedLabel, m_linkedHost);
    layout->addWidget(m_linkedRow);

    // Why no link shows although one may be stored: the keyring is locked or has not answered.
    m_credentialProblem = FormRows::secondary(FormRows::text(QString(), QStringLiteral("credentialProblem"), this));
    m_credentialProblem->setWordWrap(true);
    layout->addWidget(m_credentialProblem);

    m_linkButton = new QPushButton(this);
    m_linkButton->setObjectName(QStringLiteral("linkButton"));
    m_linkButton->setIcon(QIcon::fromTheme(QStringLiteral("insert-link")));
    connect(m_linkButton, &QPushButton::clicked, this,
        [this] { m_state.beginBrowserLink(m_services.serverURL, m_services.openURL); });
    addButtonRow(layout, m_linkButton);

    m_linkFailureRow = new QWidget(this);
    m_linkFailureRow->setObjectName(QStringLiteral("linkFailureRow"));
    auto* failureLayout = new QHBoxLayout(m_linkFailureRow);
    failureLayout->setContentsMargins(0, 0, 0, 0);
    QLabel* failureIcon = FormRows::icon(Icons::symbol(QStringLiteral("exclamationmark.triangle.fill")), this);
    failureIcon->setObjectName(QStringLiteral("linkFailureIcon"));
    failureLayout->addWidget(failureIcon, 0, Qt::AlignTop);
    m_linkFailure = FormRows::text(QString(), QStringLiteral("linkFailure"), m_linkFailureRow);
    m_linkFailure->setWordWrap(true);
    FormRows::tint(m_linkFailure, Colours::negative());
    failureLayout->addWidget(m_linkFailure, 1);
    layout->addWidget(m_linkFailureRow);

    m_waiting = new QWidget(this);
    m_waiting->setObjectName(QStringLiteral("waitingGroup"));
    auto* waitingLayout = new QVBoxLayout(m_waiting);
    waitingLayout->setContentsMargins(0, 0, 0, 0);
    waitingLayout->setSpacing(8);
    auto* progressRow = new QHBoxLayout;
    progressRow->setSpacing(10);
    progressRow->addWidget(FormRows::busyIndicator(QStringLiteral("waitingProgress"), m_waiting));
    progressRow->addWidget(
        FormRows::secondary(FormRows::text(Texts::waitingForApproval(), QStringLiteral("waitingLabel"), m_waiting)), 1);
    waitingLayout->addLayout(progressRow);
    m_pairCode = FormRows::text(QString(), QStringLiteral("pairCode"), m_waiting);
    QFont code = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    code.setPointSizeF(std::max(code.pointSizeF(), 10.0) * 1.6);
    m_pairCode->setFont(code);
    m_pairCode->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_pairCodeRow = FormRows::labelled(m_waiting, QStringLiteral("pairCodeRow"),
        FormRows::text(Texts::pairCode(), QStringLiteral("pairCodeLabel"), m_waiting), m_pairCode);
    waitingLayout->addWidget(m_pairCodeRow);
    m_pairCodeHint = FormRows::footer(Texts::pairCodeHint(), QStringLiteral("pairCodeHint"), m_waiting);
    waitingLayout->addWidget(m_pairCodeHint);
    layout->addWidget(m_waiting);

    m_cancelLink = new QPushButton(Texts::cancel(), this);
    m_cancelLink->setObjectName(QStringLiteral("cancelLinkButton"));
    connect(m_cancelLink, &QPushButton::clicked, this, [this] { m_state.cancelBrowserLink(); });
    addButtonRow(layout, m_cancelLink);

    m_unlink = new QPushButton(Texts::unlinkReset(), this);
    m_unlink->setObjectName(QStringLiteral("unlinkButton"));
    FormRows::tint(m_unlink, Colours::negative());
    connect(m_unlink, &QPushButton::clicked, this, &ConnectionSection::confirmUnlink);
    addButtonRow(layout, m_unlink);

    layout->addWidget(FormRows::footer(Texts::connectionFooter(), QStringLiteral("connectionFooter"), this));

    for (auto signal : { &AppState::configChanged, &AppState::linkPhaseChanged, &AppState::linkCodeChanged,
             &AppState::credentialProblemChanged })
        connect(&state, signal, this, &ConnectionSection::refresh);
    refresh();
}

void ConnectionSection::refresh()
{
    const bool configured = m_state.isConfigured();
    const LinkPhase phase = m_state.linkPhase();
    const bool waiting = phase.kind == LinkPhase::Kind::Waiting;

    m_linkedRow->setVisible(configured);
    m_linkedHost->setText(configured ? m_state.config()->serverURL.host() : QString());
    m_linkButton->setText(configured ? Texts::relinkThisComputer() : Texts::linkThisComputer());
    m_linkButton->setVisible(!waiting);
    const std::optional<QString> problem = configured ? std::nullopt : m_state.credentialProblem();
    m_credentialProblem->setText(problem.value_or(QString()));
    m_credentialProblem->setVisible(problem.has_value());
    m_linkFailureRow->setVisible(phase.kind == LinkPhase::Kind::Failed);
    m_linkFailure->setText(phase.message);
    m_waiting->setVisible(waiting);
    const std::optional<QString> code = m_state.linkCode();
    m_pairCode->setText(code.value_or(QString()));
    m_pairCodeRow->setVisible(code.has_value());
    m_pairCodeHint->setVisible(code.has_value());
    m_cancelLink->setVisible(waiting);
    m_unlink->setVisible(configured);
}

void ConnectionSection::confirmUnlink()
{
    if (m_unlinkConfirmation) {
        m_unlinkConfirmation->raise();
        return;
    }
    const QString name = QStringLiteral("unlinkConfirmation");
    Confirmation::Question question;
    question.objectName = name;
    question.title = Texts::unlinkTitle();
    question.message = Texts::unlinkMessage();
    question.confirm = Texts::unlink();
    question.confirmName = name + u"Confirm"_qs;
    question.confirmColour = Colours::negative();
    question.cancel = Texts::cancel();
    question.cancelName = name + u"Cancel"_qs;
    // A browser link may complete while the question is open; the answer is about the account it was asked for.
    m_unlinkConfirmation = Confirmation::build(window(), question, [this, askedFor = m_state.config()](bool confirmed) {
        if (confirmed && askedFor && m_state.config() == askedFor)
            m_state.unlink();
    });
    m_unlinkConfirmation->open();
}

} // namespace tidewell
