// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QProcess>
#include <QString>

#include <optional>

// The user in front of gnome-keyring's prompts, for tests on the private bus of scripts/with-test-services: a
// process (keyringprompter.py) that takes the system prompter's name and replies to each prompt as the test says,
// with the keyring's password, with Cancel, or not at all until the test releases it. With the default collection
// locked, every secret-store operation that needs it goes through such a prompt.
class KeyringPrompter : public QObject
{
    Q_OBJECT
public:
    enum class Reply
    {
        Answer,
        Dismiss,
        Hold
    };
    Q_ENUM(Reply)

    // `password` is what an answered password prompt types. A prompt held longer than `giveUpAfterSeconds` is
    // dismissed, so that a caller that blocks until the prompt is answered returns and its test fails instead of
    // hanging; it bounds a test's wait, and no test relies on it.
    explicit KeyringPrompter(QString password, int giveUpAfterSeconds = 30, QObject* parent = nullptr);
    ~KeyringPrompter() override;

    // Empty once the prompter serves on the session bus, otherwise why it does not.
    QString start(Reply reply = Reply::Answer);

    // How the prompts shown from now on are replied to. False when the prompter cannot be told.
    bool setReply(Reply reply);
    // Replies to the prompts held open (Answer or Dismiss); the number released, or -1 when it cannot be asked.
    int release(Reply reply);
    // The prompts held open, or -1 when the prompter cannot be asked.
    int held() const;

    // Locks the Secret Service's default collection, as a screen lock or a fresh login does. Empty on success,
    // otherwise the store's error.
    static QString lockDefaultCollection();
    // Whether the default collection is locked; none when the store cannot say.
    static std::optional<bool> defaultCollectionLocked();

signals:
    // The keyring asked for a prompt: `type` is "password" or "confirm"; `newPassword` when it asks for a new
    // keyring's password rather than an existing one's.
    void prompted(const QString& type, const QString& message, bool newPassword);

private slots:
    void onPrompted(const QString& type, const QString& message, bool newPassword);

private:
    QString m_password;
    int m_giveUpAfter;
    QProcess m_process;
};
