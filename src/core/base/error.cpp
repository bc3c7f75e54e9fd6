// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/error.h"

namespace tidewell {

Error::Error(QString description)
    : m_description(std::move(description))
    , m_utf8(m_description.toUtf8())
{ }

} // namespace tidewell
