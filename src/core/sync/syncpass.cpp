// SPDX-License-Identifier: GPL-3.0-or-later
#include "sync/syncpass.h"

#include <QCoroSignal>

namespace tidewell {

void SyncPass::finish()
{
    m_finished = true;
    emit finished();
}

QCoro::Task<> SyncPass::join()
{
    if (!m_finished)
        co_await qCoro(this, &SyncPass::finished);
}

} // namespace tidewell
