// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "services/credentialstore.h"

#include <QHash>
#include <QString>
#include <coroutine>
#include <deque>
#include <memory>

// A credential store in memory whose adds can be made to fail per placement, whose reads can find it unavailable,
// and whose operations can be held (as a keyring that asks the user would hold them), for the credential logic's
// tests. Without a hold, every operation finishes before its task is first awaited.
class MemoryCredentialStore : public tidewell::CredentialStore
{
public:
    QCoro::Task<Item> copy(Placement placement, const char* service, const char* account) override;
    QCoro::Task<int> add(Placement placement, const char* service, const char* account, QByteArray data) override;
    QCoro::Task<bool> remove(Placement placement, const char* service, const char* account) override;

    // Non-zero: every add to that placement fails with this status and changes nothing.
    void failAdds(Placement placement, int status) { m_failure[int(placement)] = status; }
    // Every removal from that placement is refused and leaves the item where it is.
    void failRemoves(Placement placement, bool fail) { m_removeFailure[int(placement)] = fail; }
    // Every read of that placement answers Unavailable.
    void failReads(Placement placement, bool fail) { m_readFailure[int(placement)] = fail; }
    // From now on every operation waits, before it does anything, until release(); then all go on in the order
    // they were called. An operation never released never finishes.
    void hold();
    void release();
    // From now on operations are answered one per event-loop turn, strictly in the order they were asked, as a
    // keyring's one job queue answers them; a hold stops the queue until release().
    void answerInOrder();
    // Operations started and not finished.
    int pending() const { return m_pending; }

    // The stored items of one placement, keyed "service/account".
    const QHash<QString, QByteArray>& items(Placement placement) const { return m_items[int(placement)]; }
    void put(Placement placement, const QByteArray& data);

private:
    static QString key(const char* service, const char* account);
    QCoro::Task<> gate();

    QHash<QString, QByteArray> m_items[2];
    int m_failure[2] = { 0, 0 };
    bool m_readFailure[2] = { false, false };
    bool m_removeFailure[2] = { false, false };
    struct Hold
    {
        bool held = false;
        bool inOrder = false;
        bool answerDue = false; // in order: the next answer is posted
        std::deque<std::coroutine_handle<>> waiting;
    };
    static void answerNext(const std::shared_ptr<Hold>& hold);
    std::shared_ptr<Hold> m_hold = std::make_shared<Hold>();
    int m_pending = 0;
};
