// SPDX-License-Identifier: GPL-3.0-or-later
#include "devserverprocess.h"

#include "testchild.h"

#include <QDeadlineTimer>

namespace {
constexpr int patience = 30000; // ms; generous, for a loaded machine
}

DevServerProcess::DevServerProcess(QString program)
    : m_program(std::move(program))
{ }

DevServerProcess::~DevServerProcess()
{
    stop();
}

QString DevServerProcess::start(const QStringList& extraArguments)
{
    process.setProgram(m_program);
    process.setArguments(QStringList { QStringLiteral("--port"), QStringLiteral("0") } + extraArguments);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    startsAsTestChild(process);
    process.start();
    if (!process.waitForStarted(patience))
        return QStringLiteral("did not start: ") + process.errorString();
    QDeadlineTimer deadline(patience);
    while (url.isEmpty() || link.isEmpty()) {
        if (!process.canReadLine() && !process.waitForReadyRead(int(deadline.remainingTime())))
            return QStringLiteral("printed no address in time");
        while (process.canReadLine()) {
            const QString line = QString::fromUtf8(process.readLine()).trimmed();
            if (line.startsWith(QLatin1String("url: ")))
                url = QUrl(line.mid(5));
            else if (line.startsWith(QLatin1String("link: ")))
                link = line.mid(6);
        }
    }
    linkSecret = link.section(QStringLiteral("#s="), 1);
    return {};
}

void DevServerProcess::stop()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}
