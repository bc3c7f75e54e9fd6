// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/logging.h"

namespace tidewell {

// Warnings are on by default so that a swallowed failure still reaches the journal; debug lines are opt-in.
Q_LOGGING_CATEGORY(lcNet, "tidewell.net", QtWarningMsg)
Q_LOGGING_CATEGORY(lcCache, "tidewell.cache", QtWarningMsg)
Q_LOGGING_CATEGORY(lcSync, "tidewell.sync", QtWarningMsg)
Q_LOGGING_CATEGORY(lcState, "tidewell.state", QtWarningMsg)
Q_LOGGING_CATEGORY(lcAccount, "tidewell.account", QtWarningMsg)
Q_LOGGING_CATEGORY(lcNotify, "tidewell.notify", QtWarningMsg)
Q_LOGGING_CATEGORY(lcPlatform, "tidewell.platform", QtWarningMsg)
Q_LOGGING_CATEGORY(lcLists, "tidewell.lists", QtWarningMsg)
Q_LOGGING_CATEGORY(lcUi, "tidewell.ui", QtWarningMsg)
Q_LOGGING_CATEGORY(lcApp, "tidewell.app", QtWarningMsg)

} // namespace tidewell
