// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QUrl>

// One tidewell-devserver process on a free loopback port, and the addresses it printed on start.
class DevServerProcess
{
public:
    explicit DevServerProcess(QString program);
    ~DevServerProcess();

    // Empty on success, otherwise why the server did not come up.
    QString start(const QStringList& extraArguments = {});
    void stop();

    QProcess process;
    QUrl url;
    QString link; // the link URL for the demo account's device
    QString linkSecret; // the device secret inside `link`

private:
    QString m_program;
};
