// SPDX-License-Identifier: GPL-3.0-or-later
#include "notify/taprouting.h"

namespace tidewell {

TapRouting::TapRouting(std::chrono::milliseconds selectionLifetime, QObject* parent)
    : QObject(parent)
{
    m_deselection.setSingleShot(true);
    m_deselection.setInterval(selectionLifetime);
    connect(&m_deselection, &QTimer::timeout, this, [this] { emit selectionExpired(m_heldId); });
}

void TapRouting::route(std::optional<qint64> messageId, std::optional<qint64> applicationId)
{
    emit tapped(messageId, applicationId);
    emit routed();
}

void TapRouting::holdSelection(qint64 messageId)
{
    m_heldId = messageId;
    m_deselection.start();
}

} // namespace tidewell
