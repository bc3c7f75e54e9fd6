// SPDX-License-Identifier: GPL-3.0-or-later
#include "cache/store.h"
#include "coro.h"
#include "memorycredentialstore.h"
#include "scriptedclient.h"
#include "scriptedservices.h"
#include "state/appstate.h"
#include "sync/syncerror.h"
#include "ui/applistmodel.h"
#include "ui/applistpane.h"
#include "ui/approwdelegate.h"
#include "ui/banner.h"
#include "ui/mainwindow.h"
#include "ui/messagelistmodel.h"
#include "ui/messagelistpane.h"
#include "ui/messagelistview.h"
#include "ui/messagerowdelegate.h"
#include "ui/textblock.h"

#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QSettings>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

using namespace tidewell;

namespace {

const DeviceConfig linked { QUrl(u"https://push.example.com"_qs), u"secret"_qs };

// The rectangle's horizontal middle, for which-side-of comparisons that a pixel of rounding cannot turn.
int middle(const QRect& rect)
{
    return rect.left() + rect.width() / 2;
}

// The leftmost and rightmost columns inside `area` where `image` differs clearly from its colour at `area`'s
// corner: where the text drawn there begins and ends. Empty when nothing is drawn there.
std::optional<std::pair<int, int>> inkColumns(const QImage& image, const QRect& area)
{
    const QColor background = image.pixelColor(area.topLeft());
    std::optional<std::pair<int, int>> columns;
    for (int x = area.left(); x <= area.right(); ++x) {
        for (int y = area.top(); y <= area.bottom(); ++y) {
            const QColor colour = image.pixelColor(x, y);
            if (std::abs(colour.lightness() - background.lightness()) > 60) {
                columns = columns ? std::pair { columns->first, x } : std::pair { x, x };
                break;
            }
        }
    }
    return columns;
}

// Takes the addresses the window opens, instead of the desktop's browser.
class OpenedUrls : public QObject
{
    Q_OBJECT
public:
    OpenedUrls() { QDesktopServices::setUrlHandler(u"https"_qs, this, "open"); }
    ~OpenedUrls() override { QDesktopServices::unsetUrlHandler(u"https"_qs); }
    QList<QUrl> urls;

public slots:
    void open(const QUrl& url) { urls.append(url); }
};

} // namespace

// The main window in either layout direction: in a right-to-left one everything that the window lays out itself
// (the panes, the painted rows, where a click lands) is the mirror image of its left-to-right self.
class TestRtl : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void windowMirrors_data();
    void windowMirrors();

private:
    void makeWindow(Qt::LayoutDirection direction);

    QTemporaryDir m_folder;
    std::unique_ptr<Preferences> m_prefs;
    MemoryCredentialStore m_credentials;
    std::shared_ptr<ScriptedClient> m_client;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<MainWindow> m_window;
};

void TestRtl::init()
{
    m_prefs = std::make_unique<Preferences>(m_folder.filePath(QUuid::createUuid().toString(QUuid::WithoutBraces)));
    m_credentials = MemoryCredentialStore();
    m_client = std::make_shared<ScriptedClient>();
    m_client->serverApps = { { 1, u"Backups"_qs, u"#336699"_qs, false }, { 2, u"Deploys"_qs, u"#993366"_qs, false } };
    // High priority, so that each row has its mark; a link, so that each has its address line.
    for (qint64 id = 1; id <= 4; ++id) {
        Message message = makeMessage(id, id % 2 ? 1 : 2, 1000 + id, u"body %1"_qs.arg(id), u"title %1"_qs.arg(id), 1);
        message.url = u"https://example.com/%1"_qs.arg(id);
        m_client->addMessage(message);
    }
}

void TestRtl::cleanup()
{
    m_window.reset();
    m_state.reset();
    QGuiApplication::setLayoutDirection(Qt::LeftToRight);
}

void TestRtl::makeWindow(Qt::LayoutDirection direction)
{
    QGuiApplication::setLayoutDirection(direction);
    QVERIFY(QCoro::waitFor(linked.save(m_credentials)));
    m_prefs->file().setValue("lastReadId", 0);
    m_state = std::make_unique<AppState>(false, scriptedServices(m_credentials, *m_prefs, m_client));
    await(m_state->sync());
    m_window = std::make_unique<MainWindow>(*m_state);
    m_window->resize(900, 600);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestRtl::windowMirrors_data()
{
    QTest::addColumn<Qt::LayoutDirection>("direction");
    QTest::newRow("left to right") << Qt::LeftToRight;
    QTest::newRow("right to left") << Qt::RightToLeft;
}

void TestRtl::windowMirrors()
{
    QFETCH(Qt::LayoutDirection, direction);
    const bool rtl = direction == Qt::RightToLeft;
    makeWindow(direction);
    // Whether `a` is on the leading side of `b`: its left in a left-to-right layout, its right in the other.
    const auto leads = [rtl](int a, int b) { return rtl ? a > b : a < b; };

    // The sidebar sits on the leading side of the messages.
    QTreeView* sidebar = m_window->appList()->view();
    MessageListView* messages = m_window->messageList()->view();
    QVERIFY(messages->isVisible());
    const QRect sidebarRect(sidebar->mapTo(m_window.get(), QPoint()), sidebar->size());
    const QRect messagesRect(messages->mapTo(m_window.get(), QPoint()), messages->size());
    QVERIFY(!sidebarRect.intersects(messagesRect));
    QVERIFY2(leads(middle(sidebarRect), middle(messagesRect)), "the sidebar is on the wrong side");

    // A message's row as its painter lays it out: the dot and the avatar lead, the time trails, and no part
    // reaches into another or out of the row.
    QVERIFY(messages->model()->rowCount() >= 3);
    const QModelIndex first = messages->model()->index(0, 0);
    QVERIFY(first.data(MessageListModel::HasAppRole).toBool());
    const auto* delegate = qobject_cast<const MessageRowDelegate*>(messages->itemDelegateForIndex(first));
    QVERIFY(delegate);
    QStyleOptionViewItem option;
    option.initFrom(messages->viewport());
    option.rect = messages->visualRect(first);
    QCOMPARE(option.direction, direction);
    const MessageRowDelegate::Layout row = delegate->layout(option, first, option.rect.width());
    for (const QRect& part : { row.dot, row.avatar, row.header, row.mark, row.time, row.body, row.link }) {
        QVERIFY(!part.isEmpty());
        QVERIFY(option.rect.contains(part));
    }
    QVERIFY2(leads(row.avatar.right(), row.body.left()) && leads(row.avatar.left(), row.body.right()),
        "the avatar is not beside the text on the leading side");
    QVERIFY(leads(row.avatar.left(), row.header.right()));
    QVERIFY(leads(row.dot.left(), row.avatar.left()));
    QVERIFY(leads(row.header.left(), row.time.left()));
    // The header's text takes its room from the leading edge; the mark follows it.
    const QRect headerText = QStyle::visualRect(direction, row.header,
        QRect(row.header.left(), row.header.top(), row.headerText->width(), row.header.height()));
    QVERIFY(leads(middle(headerText), middle(row.mark)) && leads(middle(row.mark), middle(row.time)));
    QVERIFY(!row.header.intersects(row.time));
    const QList<QRect> apart { row.dot, row.avatar, headerText, row.mark, row.time };
    for (qsizetype i = 0; i < apart.size(); ++i) {
        for (qsizetype j = i + 1; j < apart.size(); ++j)
            QVERIFY2(!apart[i].intersects(apart[j]), qPrintable(u"parts %1 and %2 overlap"_qs.arg(i).arg(j)));
    }
    QVERIFY(!row.avatar.intersects(row.body) && !row.avatar.intersects(row.link));
    // The address lines up with the text, at the leading edge.
    QCOMPARE(rtl ? row.link.right() : row.link.left(), rtl ? row.body.right() : row.body.left());

    // What is painted follows: the avatar is where the layout puts it, and the text lines up on the leading side.
    const QImage shown = messages->viewport()->grab().toImage();
    const QPoint inAvatar = row.avatar.center() + QPoint(0, row.avatar.height() / 3); // below its initial
    QCOMPARE(shown.pixelColor(inAvatar).name(), first.data(MessageListModel::AppColourRole).value<QColor>().name());
    const std::optional<std::pair<int, int>> ink = inkColumns(shown, row.body);
    QVERIFY2(ink, "no text drawn in the message's place");
    if (rtl)
        QVERIFY2(ink->first > middle(row.body) && row.body.right() - ink->second < 4, "the text is not on the right");
    else
        QVERIFY2(ink->second < middle(row.body) && ink->first - row.body.left() < 4, "the text is not on the left");

    // The address is drawn where the layout puts it, and a click there, and only there, opens it.
    QVERIFY2(inkColumns(shown, row.link), "no address drawn in its place");
    const OpenedUrls opened;
    const QRect mirroredLink = QStyle::visualRect(Qt::RightToLeft, option.rect, row.link);
    QVERIFY(!mirroredLink.intersects(row.link));
    QTest::mouseClick(messages->viewport(), Qt::LeftButton, {}, mirroredLink.center());
    QCOMPARE(opened.urls, QList<QUrl>());
    QTest::mouseClick(messages->viewport(), Qt::LeftButton, {}, row.link.center());
    QCOMPARE(opened.urls, QList<QUrl> { first.data(MessageListModel::LinkUrlRole).toUrl() });

    // An application's row in the sidebar mirrors the same way.
    AppListModel* apps = m_window->appList()->model();
    const QModelIndex backups = apps->index(apps->rowOf(1), 0);
    const auto* appDelegate = qobject_cast<const AppRowDelegate*>(sidebar->itemDelegate());
    QVERIFY(appDelegate);
    QStyleOptionViewItem appOption;
    appOption.initFrom(sidebar->viewport());
    appOption.rect = sidebar->visualRect(backups);
    const AppRowDelegate::Layout appRow = appDelegate->layout(appOption, backups);
    QVERIFY(!appRow.badge.isEmpty() && !appRow.time.isEmpty() && !appRow.mark.isEmpty());
    QVERIFY(leads(appRow.avatar.left(), appRow.name.left()) && leads(appRow.avatar.left(), appRow.preview.left()));
    QVERIFY(leads(appRow.name.left(), appRow.mark.left()) && leads(appRow.mark.left(), appRow.time.left()));
    QVERIFY(leads(appRow.preview.left(), appRow.badge.left()));
    for (const QRect& part : { appRow.avatar, appRow.name, appRow.mark, appRow.time, appRow.preview, appRow.badge })
        QVERIFY(appOption.rect.contains(part));

    // A banner's text keeps beside its icon, whatever the direction of its own characters.
    m_client->failures.insert(u"messages"_qs, failWith(SyncError::paginationDidNotAdvance()));
    await(m_state->sync());
    auto* banner = m_window->findChild<Banner*>(u"errorBanner"_qs);
    QVERIFY(banner && banner->isVisible());
    QLabel* icon = nullptr;
    QLabel* note = nullptr;
    for (QLabel* label : banner->findChildren<QLabel*>())
        (label->text().isEmpty() ? icon : note) = label;
    QVERIFY(icon && note);
    banner->setText(u"Connection refused"_qs); // short of the width, so that its side shows
    QVERIFY(leads(middle(icon->geometry()), middle(note->geometry())));
    const std::optional<std::pair<int, int>> noteInk = inkColumns(banner->grab().toImage(), note->geometry());
    QVERIFY2(noteInk, "no text drawn in the banner");
    if (rtl)
        QVERIFY2(note->geometry().right() - noteInk->second < 8, "the banner's text is away from its icon");
    else
        QVERIFY2(noteInk->first - note->geometry().left() < 8, "the banner's text is away from its icon");

    // A click anywhere across a row selects that row, at either edge; the keys across the list move nothing.
    for (QAbstractItemView* view : std::initializer_list<QAbstractItemView*> { messages, sidebar }) {
        const int rows = view->model()->rowCount();
        QVERIFY(rows >= 3);
        for (int target : { 0, rows - 1 }) {
            const QRect rect = view->visualRect(view->model()->index(target, 0));
            for (const int x : { rect.left() + 1, rect.right() - 1 }) {
                view->setCurrentIndex(view->model()->index(target == 0 ? rows - 1 : 0, 0));
                QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(x, rect.center().y()));
                QCOMPARE(view->currentIndex().row(), target);
            }
        }
        view->setFocus();
        for (const Qt::Key key : { Qt::Key_Left, Qt::Key_Right }) {
            QTest::keyClick(view, key);
            QCOMPARE(view->currentIndex().row(), rows - 1);
        }
    }
}

QTEST_MAIN(TestRtl)
#include "test_rtl.moc"
