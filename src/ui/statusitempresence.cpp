// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/statusitempresence.h"

#include "ui/statusitem.h"

namespace tidewell {

StatusItemPresence::StatusItemPresence(AppState& state, QObject* parent)
    : QObject(parent)
    , m_state(state)
{ }

StatusItemPresence::~StatusItemPresence() = default;

void StatusItemPresence::setHostPresent(bool present)
{
    if (present == isShown())
        return;
    if (present) {
        m_item = std::make_unique<StatusItem>(m_state);
        connect(m_item.get(), &StatusItem::openRequested, this, &StatusItemPresence::openRequested);
        connect(m_item.get(), &StatusItem::quitRequested, this, &StatusItemPresence::quitRequested);
        m_item->show();
    } else {
        // Destroying the icon takes it off the bus; a host that comes back is handed a new one.
        m_item.reset();
    }
    emit shownChanged(present);
}

} // namespace tidewell
