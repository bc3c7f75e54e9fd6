#include "icons.h"

#include <QApplication>
#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QPalette>
#include <QSvgRenderer>

// The drawings live in this static library; their registration must be pulled in by name.
static void registerSymbols()
{
    Q_INIT_RESOURCE(icons);
}

namespace tidewell {

namespace {

// Renders one bundled drawing in the palette's text colour of the moment, so a change between light and dark
// needs no new icons.
class TintedSymbolEngine : public QIconEngine
{
public:
    explicit TintedSymbolEngine(QString resource)
        : m_resource(std::move(resource))
    { }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override
    {
        painter->drawPixmap(rect, render(rect.size() * painter->device()->devicePixelRatioF(), mode));
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override { return render(size, mode); }

    QIconEngine* clone() const override { return new TintedSymbolEngine(m_resource); }
    QString key() const override { return QStringLiteral("tidewell-symbol"); }

private:
    QPixmap render(const QSize& size, QIcon::Mode mode) const
    {
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QSvgRenderer renderer(m_resource);
        QPainter painter(&image);
        renderer.render(&painter);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        const QPalette palette = QApplication::palette();
        QColor colour = palette.color(mode == QIcon::Disabled ? QPalette::Disabled : QPalette::Active,
            mode == QIcon::Selected ? QPalette::HighlightedText : QPalette::WindowText);
        painter.fillRect(image.rect(), colour);
        painter.end();
        return QPixmap::fromImage(image);
    }

    QString m_resource;
};

const QHash<QString, QString>& themeNames()
{
    static const QHash<QString, QString> names {
        { QStringLiteral("arrow.clockwise"), QStringLiteral("view-refresh") },
        { QStringLiteral("gearshape"), QStringLiteral("preferences-system") },
        { QStringLiteral("gear"), QStringLiteral("preferences-system") },
        { QStringLiteral("arrow.up.arrow.down"), QStringLiteral("view-sort") },
        { QStringLiteral("tray.full"), QStringLiteral("mail-folder-inbox") },
        { QStringLiteral("tray"), QStringLiteral("mail-folder-inbox") },
        { QStringLiteral("envelope.open"), QStringLiteral("mail-mark-read") },
        { QStringLiteral("arrow.down"), QStringLiteral("go-down") },
        { QStringLiteral("arrow.up"), QStringLiteral("go-up") },
        { QStringLiteral("textformat"), QStringLiteral("format-text-bold") },
        { QStringLiteral("trash"), QStringLiteral("edit-delete") },
        { QStringLiteral("magnifyingglass"), QStringLiteral("edit-find") },
        { QStringLiteral("exclamationmark.triangle.fill"), QStringLiteral("dialog-warning") },
        { QStringLiteral("icloud.slash"), QStringLiteral("network-offline") },
        { QStringLiteral("bell"), QStringLiteral("preferences-desktop-notification") },
    };
    return names;
}

} // namespace

QString Icons::themeName(const QString& symbol)
{
    return themeNames().value(symbol);
}

QIcon Icons::symbol(const QString& name)
{
    static const bool registered = (registerSymbols(), true);
    Q_UNUSED(registered);
    static QHash<QString, QIcon> made;
    if (const auto it = made.constFind(name); it != made.cend())
        return *it;
    const QString theme = themeName(name);
    QIcon icon;
    if (!theme.isEmpty() && QIcon::hasThemeIcon(theme))
        icon = QIcon::fromTheme(theme);
    else
        icon = QIcon(new TintedSymbolEngine(u":/symbols/"_qs + name));
    made.insert(name, icon);
    return icon;
}

} // namespace tidewell
