// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/xdgautostart.h"

#include "base/logging.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextStream>

namespace tidewell {

namespace {

QString quoteArgument(const QString& argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`=%");
    bool plain = !argument.isEmpty();
    for (const QChar c : argument) {
        if (reserved.contains(c)) {
            plain = false;
            break;
        }
    }
    QString quoted = argument;
    quoted.replace(u'%', u"%%"_qs); // field codes
    if (plain)
        return quoted;
    QString escaped;
    for (const QChar c : std::as_const(quoted)) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            escaped += u'\\';
        escaped += c;
    }
    return u'"' + escaped + u'"';
}

// Inside a desktop entry's string value a backslash is itself escaped, on top of the Exec quoting.
QString escapeValue(const QString& value)
{
    QString escaped = value;
    escaped.replace(u'\\', u"\\\\"_qs);
    return escaped;
}

} // namespace

XdgAutostart::XdgAutostart(QString configHome, QString program)
    : m_configHome(std::move(configHome))
    , m_program(std::move(program))
{
    if (m_configHome.isEmpty())
        m_configHome = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (m_program.isEmpty())
        m_program = QCoreApplication::applicationFilePath();
}

QString XdgAutostart::entryPath() const
{
    return m_configHome + u"/autostart/"_qs + QGuiApplication::desktopFileName() + u".desktop"_qs;
}

QString XdgAutostart::execLine(const QString& program, const QStringList& arguments)
{
    QStringList words { quoteArgument(program) };
    for (const QString& argument : arguments)
        words.append(quoteArgument(argument));
    return escapeValue(words.join(u' '));
}

bool XdgAutostart::isEnabled() const
{
    QFile entry(entryPath());
    if (!entry.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    while (!entry.atEnd()) {
        const QByteArray line = entry.readLine().trimmed();
        if (line == "Hidden=true")
            return false;
    }
    return true;
}

bool XdgAutostart::setEnabled(bool enabled)
{
    const QString path = entryPath();
    if (!enabled) {
        if (!QFile::exists(path) || QFile::remove(path))
            return true;
        qCWarning(lcPlatform) << "autostart entry not removed:" << path;
        return false;
    }
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        qCWarning(lcPlatform) << "autostart folder not created for" << path;
        return false;
    }
    QSaveFile entry(path);
    if (!entry.open(QIODevice::WriteOnly | QIODevice::Text)) {
        qCWarning(lcPlatform) << "autostart entry not written:" << path << entry.errorString();
        return false;
    }
    QTextStream out(&entry);
    out << "[Desktop Entry]\n"
        << "Type=Application\n"
        << "Name=" << QGuiApplication::applicationDisplayName() << '\n'
        << "Exec=" << execLine(m_program, { QString::fromLatin1(backgroundArgument) }) << '\n'
        << "Icon=" << QGuiApplication::desktopFileName() << '\n'
        << "Terminal=false\n"
        << "NoDisplay=true\n"
        << "X-GNOME-Autostart-enabled=true\n";
    out.flush();
    if (!entry.commit()) {
        qCWarning(lcPlatform) << "autostart entry not written:" << path << entry.errorString();
        return false;
    }
    return true;
}

} // namespace tidewell
