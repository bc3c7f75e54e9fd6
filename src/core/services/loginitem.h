// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace tidewell {

// Whether Tidewell starts by itself when the user logs in, in the background with only its status item.
class LoginItem
{
public:
    virtual ~LoginItem() = default;
    virtual bool isEnabled() const = 0;
    // False when the desktop's start-up list could not be changed; the previous state then stands.
    virtual bool setEnabled(bool enabled) = 0;
};

} // namespace tidewell
