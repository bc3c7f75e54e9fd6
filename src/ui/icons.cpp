// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/icons.h"

#include <QApplication>
#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QPalette>
#include <QSvgRenderer>
#include <optional>

// The drawings live in this static library; their registration must be pulled in by name.
static void registerSymbols()
{
    Q_INIT_RESOURCE(icons);
}

namespace tidewell {

namespace {

// Draws a monochrome icon (a theme's symbolic icon, or one of our drawings) in the palette's text colour of the
// moment: symbolic icons are drawn in one colour for a light background, and a change between light and dark
// needs no new icons.
class TintedSymbolEngine : public QIconEngine
{
public:
    // One of our drawings, by its resource path.
    explicit TintedSymbolEngine(QString resource)
        : m_resource(std::move(resource))
    { }
    // A theme's symbolic icon, under its name.
    TintedSymbolEngine(QIcon source, QString name)
        : m_source(std::move(source))
        , m_name(std::move(name))
    { }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override
    {
        painter->drawPixmap(rect, render(rect.size() * painter->device()->devicePixelRatioF(), mode));
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override { return render(size, mode); }

    QIconEngine* clone() const override { return new TintedSymbolEngine(*this); }
    QString key() const override { return QStringLiteral("tidewell-symbol"); }
    QString iconName() override { return m_name; }

private:
    QPixmap render(const QSize& size, QIcon::Mode mode) const
    {
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        if (m_source.isNull())
            QSvgRenderer(m_resource).render(&painter);
        else
            m_source.paint(&painter, image.rect());
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        const QPalette palette = QApplication::palette();
        QColor colour = palette.color(mode == QIcon::Disabled ? QPalette::Disabled : QPalette::Active,
            mode == QIcon::Selected ? QPalette::HighlightedText : QPalette::WindowText);
        painter.fillRect(image.rect(), colour);
        painter.end();
        return QPixmap::fromImage(image);
    }

    QString m_resource;
    QIcon m_source;
    QString m_name;
};

// The freedesktop names for each symbol, the most fitting first.
const QHash<QString, QStringList>& nameTable()
{
    static const QHash<QString, QStringList> names {
        { QStringLiteral("arrow.clockwise"), { QStringLiteral("view-refresh") } },
        { QStringLiteral("gearshape"), { QStringLiteral("preferences-system") } },
        { QStringLiteral("gear"), { QStringLiteral("preferences-system") } },
        { QStringLiteral("arrow.up.arrow.down"), { QStringLiteral("view-sort") } },
        { QStringLiteral("tray.full"), { QStringLiteral("mail-folder-inbox") } },
        { QStringLiteral("tray"), { QStringLiteral("mail-folder-inbox") } },
        { QStringLiteral("envelope.open"), { QStringLiteral("mail-read"), QStringLiteral("mail-mark-read") } },
        { QStringLiteral("arrow.down"), { QStringLiteral("go-down") } },
        { QStringLiteral("arrow.up"), { QStringLiteral("go-up") } },
        { QStringLiteral("textformat"), { QStringLiteral("format-text-bold") } },
        { QStringLiteral("trash"), { QStringLiteral("edit-delete") } },
        { QStringLiteral("magnifyingglass"), { QStringLiteral("edit-find") } },
        { QStringLiteral("exclamationmark.triangle.fill"), { QStringLiteral("dialog-warning") } },
        { QStringLiteral("icloud.slash"), { QStringLiteral("network-offline") } },
        { QStringLiteral("bell"), { QStringLiteral("preferences-desktop-notification") } },
    };
    return names;
}

} // namespace

QStringList Icons::themeNames(const QString& symbol)
{
    return nameTable().value(symbol);
}

// The header's and tool bar's icons must look alike, and like the desktop's: the theme's symbolic (monochrome)
// icons first, drawn in the text colour as ours are; then its plain icons, which may be in full colour, for a
// theme that has no symbolic ones; then our own drawings. Looked up once per theme.
QIcon Icons::symbol(const QString& name)
{
    static const bool registered = (registerSymbols(), true);
    Q_UNUSED(registered);
    static QHash<QString, QIcon> made;
    const QString key = QIcon::themeName() + u'/' + name;
    if (const auto it = made.constFind(key); it != made.cend())
        return *it;
    const QStringList plain = themeNames(name);
    std::optional<QIcon> icon;
    for (const QString& theme : plain) {
        const QString symbolic = theme + u"-symbolic"_qs;
        if (QIcon::hasThemeIcon(symbolic)) {
            icon = QIcon(new TintedSymbolEngine(QIcon::fromTheme(symbolic), symbolic));
            break;
        }
    }
    for (auto theme = plain.cbegin(); !icon && theme != plain.cend(); ++theme) {
        if (QIcon::hasThemeIcon(*theme))
            icon = QIcon::fromTheme(*theme);
    }
    if (!icon)
        icon = QIcon(new TintedSymbolEngine(u":/symbols/"_qs + name));
    made.insert(key, *icon);
    return *icon;
}

} // namespace tidewell
