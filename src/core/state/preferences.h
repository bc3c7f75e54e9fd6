// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QSettings>
#include <QVariant>
#include <memory>

namespace tidewell {

// The user's preferences file and every key the program keeps there: its name in the file, its type and what it
// reads as when the file has none (or a value of another type, as a hand edit may leave). Adding a preference is one
// entry in the table of preferences.cpp and its use; whoever cares about a key follows changed() instead of being
// told by whoever set it.
class Preferences : public QObject
{
    Q_OBJECT
public:
    enum class Key
    {
        MessageSort, // text: the message list's ordering, as MessageSort::rawValue()
        ApplicationSort, // text: the sidebar's ordering, as ApplicationSort::rawValue()
        LastReadId, // integer, none until the first start has counted what the cache held as read
        PushRegistered, // whether the server has this device's push token
        CheckInterval, // seconds between periodic syncs
        ClosedWindowNoticeShown, // the one-time notice that the program goes on running without a window
        UnlinkedCredential, // digest of a credential unlinked while the keyring kept it; never the secret
    };
    Q_ENUM(Key)

    // Over the file at `path`, in the INI format every release has written.
    explicit Preferences(const QString& path, QObject* parent = nullptr);
    // Over settings that the caller keeps, as tests do to look into the file.
    explicit Preferences(QSettings& settings, QObject* parent = nullptr);
    ~Preferences() override;

    // The key's name in the file: the same names, with the same values, as before there was this table.
    static QString name(Key key);
    // The stored value in the key's type, or its default when none is stored or it does not convert.
    QVariant value(Key key) const;
    bool contains(Key key) const;
    // Stores `value` (even when equal: a later read of the file sees it); changed() only when the value differs.
    void setValue(Key key, const QVariant& value);
    void remove(Key key);

    // The file, for what applies to it as a whole (its mode, private to the user).
    QString fileName() const { return m_settings->fileName(); }
    // The file as stored, by the names in it: for tests that check what a release writes and reads back.
    QSettings& file() { return *m_settings; }

signals:
    void changed(Preferences::Key key);

private:
    std::unique_ptr<QSettings> m_owned;
    QSettings* m_settings;
};

} // namespace tidewell
