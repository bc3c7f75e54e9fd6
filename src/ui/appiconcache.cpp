// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/appiconcache.h"

namespace tidewell {

QImage AppIconCache::image(qint64 applicationId, const QByteArray& bytes)
{
    const size_t key = qHash(bytes);
    const auto it = m_images.constFind(applicationId);
    if (it != m_images.cend() && it->first == key)
        return it->second;
    QImage decoded = QImage::fromData(bytes);
    m_images.insert(applicationId, { key, decoded });
    return decoded;
}

} // namespace tidewell
