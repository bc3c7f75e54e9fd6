// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QHash>
#include <QImage>

namespace tidewell {

// Applications' icons decoded once: each is kept with a hash of its bytes, so a replaced icon is decoded again
// and an unchanged one never is.
class AppIconCache
{
public:
    // The decoded icon; a null image when the bytes do not decode.
    QImage image(qint64 applicationId, const QByteArray& bytes);

private:
    QHash<qint64, std::pair<size_t, QImage>> m_images;
};

} // namespace tidewell
