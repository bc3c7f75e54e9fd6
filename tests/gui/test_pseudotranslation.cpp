// SPDX-License-Identifier: GPL-3.0-or-later
#include "api/apiclient.h"
#include "api/decodingerror.h"
#include "api/wiredecoder.h"
#include "cache/store.h"
#include "coro.h"
#include "fakenotificationcentre.h"
#include "fakeserver.h"
#include "lists/listpresentation.h"
#include "memorycredentialstore.h"
#include "notify/notificationhandler.h"
#include "scriptedclient.h"
#include "state/appstate.h"
#include "sync/syncerror.h"
#include "triggeraction.h"
#include "ui/applistmodel.h"
#include "ui/applistpane.h"
#include "ui/emptystate.h"
#include "ui/mainwindow.h"
#include "ui/messagelistmodel.h"
#include "ui/messagelistpane.h"
#include "ui/messagerowdelegate.h"
#include "ui/relativetime.h"
#include "ui/settingswindow.h"
#include "ui/statusitem.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QStyleOptionFrame>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTextDocumentFragment>
#include <QToolBar>
#include <QToolButton>
#include <QTranslator>
#include <QTreeView>
#include <QtTest>

using namespace tidewell;
using Status = NotificationCentre::AuthorizationStatus;
using Response = FakeServer::Response;

namespace {

constexpr QChar markOpen = u'\u27e6';
constexpr QChar markClose = u'\u27e7';

const DeviceConfig linked { QUrl(u"https://push.example.com"_qs), u"secret"_qs };
const QString linkSecret = u"abcdefghijklmnopqrstuvwxyz0123456789ABCD"_qs;

// Everything the fixture's server says: names, titles, messages, link titles, host names and the pairing code. These
// reach the windows as they came and are never translated.
const QStringList serverTexts = [] {
    QStringList texts { u"Backups"_qs, u"Deploys"_qs, u"Silent"_qs, u"Nightly run"_qs, u"All volumes copied"_qs,
        u"Release rolled out to every region"_qs, u"Pipeline"_qs, u"Disk almost full"_qs,
        u"Volume at ninety percent"_qs, u"Rollback"_qs, u"Canary failed its checks"_qs, u"push.example.com"_qs,
        u"other.example"_qs, u"K7MX3Q"_qs };
    std::sort(texts.begin(), texts.end(), [](const QString& a, const QString& b) { return a.size() > b.size(); });
    return texts;
}();

// The words QLocale itself writes into a formatted time or date (month names, AM and PM) come from its own locale
// data in the user's language, not from Tidewell's texts, so they pass wherever they stand as whole words. Read on
// first use, once the test has chosen its locale.
const QStringList& localeWords()
{
    static const QStringList words = [] {
        const QLocale locale;
        QStringList found { locale.amText(), locale.pmText() };
        for (int month = 1; month <= 12; ++month) {
            for (const auto format : { QLocale::LongFormat, QLocale::ShortFormat, QLocale::NarrowFormat }) {
                found.append(locale.monthName(month, format));
                found.append(locale.standaloneMonthName(month, format));
            }
        }
        found.removeAll(QString());
        return found;
    }();
    return words;
}

// What is left of a user-visible text once every part that came through the translator (a span between the
// markers, however much it holds, nested spans included), every text of the server and every word of the locale's
// own are taken out. A text passes when nothing left is a letter: counts, times and punctuation between marked parts
// may stand outside the markers, a word may not. An unclosed marker keeps the whole text, which then fails.
QString untranslatedRest(const QString& text)
{
    static const QRegularExpression directionMarks(QStringLiteral("[\u200e\u200f\u202a-\u202e\u2066-\u2069]"));
    QString plain = text;
    plain.remove(directionMarks);
    QString rest;
    int depth = 0;
    for (const QChar c : plain) {
        if (c == markOpen) {
            ++depth;
        } else if (c == markClose && depth > 0) {
            if (--depth == 0)
                rest += u' ';
        } else if (depth == 0) {
            rest += c;
        }
    }
    if (depth > 0)
        return plain;
    for (const QString& server : serverTexts)
        rest.replace(server, u" "_qs);
    for (const QString& word : localeWords())
        rest.replace(QRegularExpression(u"\\b"_qs + QRegularExpression::escape(word) + u"\\b"_qs), u" "_qs);
    return rest;
}

bool cameThroughTheTranslator(const QString& text)
{
    const QString rest = untranslatedRest(text);
    return std::none_of(rest.begin(), rest.end(), [](QChar c) { return c.isLetter(); });
}

QString describe(const QObject* object)
{
    const QString name = object->objectName();
    return QString::fromLatin1(object->metaObject()->className())
        + (name.isEmpty() ? QString() : u" \""_qs + name + u'"');
}

// A widget as a failure names it: its class and name, and the names of the widgets it sits in up to its window.
QString pathOf(const QObject* object)
{
    QStringList parents;
    for (const QObject* parent = object->parent(); parent; parent = parent->parent()) {
        parents.prepend(parent->objectName().isEmpty() ? QString::fromLatin1(parent->metaObject()->className())
                                                       : parent->objectName());
        if (parent->isWidgetType() && static_cast<const QWidget*>(parent)->isWindow())
            break;
    }
    return describe(object) + (parents.isEmpty() ? QString() : u" in "_qs + parents.join(u'/'));
}

// Collects every user-visible text of a window and what it shows, and each one that bypassed the translator.
class TextWalk
{
public:
    QStringList failures;
    int texts = 0;

    void window(QWidget* root)
    {
        QList<QWidget*> widgets { root };
        widgets += root->findChildren<QWidget*>();
        for (QWidget* widget : widgets) {
            if (widget->isVisible())
                this->widget(widget);
        }
    }

    void check(const QString& where, const QString& what, const QString& text)
    {
        if (text.isEmpty())
            return;
        ++texts;
        if (!cameThroughTheTranslator(text))
            failures.append(u"%1, %2: \u00ab%3\u00bb"_qs.arg(where, what, text));
    }

    void actions(const QString& where, const QList<QAction*>& actions)
    {
        for (QAction* action : actions) {
            if (!action->isVisible())
                continue;
            const QString at = where + u" > action "_qs + describe(action);
            check(at, u"text"_qs, action->text());
            check(at, u"tool tip"_qs, action->toolTip());
            check(at, u"icon text"_qs, action->iconText());
            check(at, u"status tip"_qs, action->statusTip());
            if (action->menu())
                menu(at, action->menu());
        }
    }

    void menu(const QString& where, QMenu* menu)
    {
        if (!m_menus.contains(menu)) {
            m_menus.insert(menu);
            check(where, u"menu title"_qs, menu->title());
            actions(where + u" > menu"_qs, menu->actions());
        }
    }

private:
    void widget(QWidget* widget)
    {
        const QString where = pathOf(widget);
        if (widget->isWindow())
            check(where, u"window title"_qs, widget->windowTitle());
        check(where, u"tool tip"_qs, widget->toolTip());
        check(where, u"status tip"_qs, widget->statusTip());
        check(where, u"accessible name"_qs, widget->accessibleName());
        check(where, u"accessible description"_qs, widget->accessibleDescription());
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            const QString text = Qt::mightBeRichText(label->text()) && label->textFormat() != Qt::PlainText
                ? QTextDocumentFragment::fromHtml(label->text()).toPlainText()
                : label->text();
            check(where, u"text"_qs, text);
        }
        if (auto* button = qobject_cast<QAbstractButton*>(widget))
            check(where, u"text"_qs, button->text());
        if (auto* button = qobject_cast<QToolButton*>(widget); button && button->menu())
            menu(where, button->menu());
        if (auto* field = qobject_cast<QLineEdit*>(widget))
            check(where, u"placeholder"_qs, field->placeholderText());
        if (auto* combo = qobject_cast<QComboBox*>(widget)) {
            for (int i = 0; i < combo->count(); ++i)
                check(where, u"choice %1"_qs.arg(i), combo->itemText(i));
        }
        if (auto* box = qobject_cast<QGroupBox*>(widget))
            check(where, u"title"_qs, box->title());
        if (auto* menu = qobject_cast<QMenu*>(widget))
            this->menu(where, menu);
        actions(where, widget->actions());
        if (auto* view = qobject_cast<QAbstractItemView*>(widget))
            items(where, view);
    }

    // The rows a list shows: what its model gives the view and assistive technologies, and the texts its delegate
    // paints from the model's values (the time of a message, the age and the count of an application).
    void items(const QString& where, QAbstractItemView* view)
    {
        QAbstractItemModel* model = view->model();
        if (!model)
            return;
        if (auto* tree = qobject_cast<QTreeView*>(view); tree && !tree->isHeaderHidden()) {
            for (int column = 0; column < model->columnCount(); ++column)
                check(where, u"header"_qs, model->headerData(column, Qt::Horizontal).toString());
        }
        for (int row = 0; row < model->rowCount(); ++row) {
            const QModelIndex index = model->index(row, 0);
            if (!view->visualRect(index).intersects(view->viewport()->rect()))
                continue;
            const QString at = where + u" row %1"_qs.arg(row);
            for (const int role : { int(Qt::DisplayRole), int(Qt::ToolTipRole), int(Qt::StatusTipRole),
                     int(Qt::WhatsThisRole), int(Qt::AccessibleTextRole), int(Qt::AccessibleDescriptionRole) })
                check(at, u"role %1"_qs.arg(role), index.data(role).toString());
            if (qobject_cast<MessageListModel*>(model)) {
                check(at, u"body"_qs, index.data(MessageListModel::BodyRole).toString());
                check(at, u"link"_qs, index.data(MessageListModel::LinkTextRole).toString());
                check(at, u"time"_qs, MessageRowDelegate::timeText(index.data(MessageListModel::TsRole).toLongLong()));
            }
            if (qobject_cast<AppListModel*>(model)) {
                check(at, u"preview"_qs, index.data(AppListModel::PreviewRole).toString());
                const QVariant ts = index.data(AppListModel::LatestTsRole);
                if (ts.isValid())
                    check(at, u"age"_qs,
                        RelativeTime::text(
                            QDateTime::fromSecsSinceEpoch(ts.toLongLong()), QDateTime::currentDateTime()));
                check(at, u"badge"_qs,
                    ListPresentation::badgeText(index.data(AppListModel::UnreadRole).toLongLong()).value_or(QString()));
            }
        }
    }

    QSet<QMenu*> m_menus;
};

// The widest word of a wrapped text, which no line break can make narrower.
int widestWord(const QLabel* label)
{
    const QString text = Qt::mightBeRichText(label->text()) && label->textFormat() != Qt::PlainText
        ? QTextDocumentFragment::fromHtml(label->text()).toPlainText()
        : label->text();
    int widest = 0;
    for (const QString& word : text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts))
        widest = std::max(widest, label->fontMetrics().horizontalAdvance(word));
    return widest;
}

// Every visible text of a window that is shown smaller than it needs: a widget whose size hint does not fit in
// the room it has, a wrapped label that needs more lines or a wider line than it got, a tool bar that hid some of
// its buttons behind its overflow arrow, a form that scrolls sideways.
QStringList cutTexts(QWidget* window)
{
    QStringList cut;
    const auto sizes = [](QSize need, QSize has) {
        return u"needs %1\u00d7%2, has %3\u00d7%4"_qs.arg(need.width())
            .arg(need.height())
            .arg(has.width())
            .arg(has.height());
    };
    QList<QWidget*> widgets { window };
    widgets += window->findChildren<QWidget*>();
    for (QWidget* widget : widgets) {
        if (!widget->isVisible() || widget->window() != window)
            continue;
        const QString where = pathOf(widget);
        if (auto* label = qobject_cast<QLabel*>(widget); label && !label->text().isEmpty()) {
            if (label->wordWrap()) {
                const int room = label->contentsRect().width() - 2 * label->margin();
                if (widestWord(label) > room)
                    cut.append(
                        u"%1: a word needs %2 px, the line has %3"_qs.arg(where).arg(widestWord(label)).arg(room));
                if (label->heightForWidth(label->width()) > label->height())
                    cut.append(u"%1: %2"_qs.arg(
                        where, sizes(QSize(label->width(), label->heightForWidth(label->width())), label->size())));
            } else if (label->sizeHint().width() > label->width() || label->sizeHint().height() > label->height()) {
                cut.append(u"%1: %2"_qs.arg(where, sizes(label->sizeHint(), label->size())));
            }
        }
        const bool hasText
            = (qobject_cast<QAbstractButton*>(widget) && !static_cast<QAbstractButton*>(widget)->text().isEmpty())
            || qobject_cast<QComboBox*>(widget);
        // A control whose text wraps needs its narrowest width and the height it takes at the width it got.
        const QSize need = widget->hasHeightForWidth()
            ? QSize(widget->minimumSizeHint().width(), widget->heightForWidth(widget->width()))
            : widget->sizeHint();
        if (hasText && (need.width() > widget->width() || need.height() > widget->height()))
            cut.append(u"%1: %2"_qs.arg(where, sizes(need, widget->size())));
        // A placeholder that does not fit is elided: it needs the room the field leaves beside its icons.
        if (auto* field = qobject_cast<QLineEdit*>(widget);
            field && field->text().isEmpty() && !field->placeholderText().isEmpty()) {
            QStyleOptionFrame option;
            option.initFrom(field);
            option.lineWidth = field->hasFrame() ? field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) : 0;
            int room = field->style()->subElementRect(QStyle::SE_LineEditContents, &option, field).width()
                - field->textMargins().left() - field->textMargins().right() - 4;
            for (QWidget* icon : field->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                if (icon->isVisible())
                    room -= icon->width();
            }
            const int need = field->fontMetrics().horizontalAdvance(field->placeholderText());
            if (need > room)
                cut.append(u"%1: the placeholder needs %2 px, the field has %3"_qs.arg(where).arg(need).arg(room));
        }
        if (auto* box = qobject_cast<QGroupBox*>(widget); box && !box->title().isEmpty()) {
            if (box->minimumSizeHint().width() > box->width())
                cut.append(u"%1: %2"_qs.arg(where, sizes(box->minimumSizeHint(), box->size())));
        }
        if (auto* bar = qobject_cast<QToolBar*>(widget)) {
            auto* overflow = bar->findChild<QWidget*>(u"qt_toolbar_ext_button"_qs);
            if (overflow && overflow->isVisible())
                cut.append(u"%1: its buttons overflow behind the arrow"_qs.arg(where));
        }
        if (auto* scroll = qobject_cast<QScrollArea*>(widget); scroll && scroll->horizontalScrollBar()->maximum() > 0)
            cut.append(u"%1: scrolls sideways by %2 px"_qs.arg(where).arg(scroll->horizontalScrollBar()->maximum()));
    }
    return cut;
}

// The smallest the window may be made, as it enforces it.
void shrink(QWidget* window)
{
    QSize smallest = window->minimumSize();
    if (smallest.isEmpty())
        smallest = window->minimumSizeHint();
    window->resize(smallest);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
}

enum class MainScene
{
    NotConfigured,
    OfflineBanner,
    ErrorBanner,
    NoMessages,
    NoResults,
    List,
    LinkConfirmation,
    MessageMenu,
    ApplicationMenu,
    ClearHistory,
};

enum class SettingsScene
{
    Unlinked,
    Waiting,
    WaitingWithCode,
    Linked,
    LinkFailed,
    CredentialProblem,
    SyncError,
    NotificationsOff,
    NoNotificationService,
    UnlinkConfirmation,
    ClearConfirmation,
};

const std::pair<const char*, MainScene> mainScenes[] = {
    { "not configured", MainScene::NotConfigured },
    { "offline banner", MainScene::OfflineBanner },
    { "error banner", MainScene::ErrorBanner },
    { "no messages", MainScene::NoMessages },
    { "no results", MainScene::NoResults },
    { "list", MainScene::List },
    { "link confirmation", MainScene::LinkConfirmation },
    { "message menu", MainScene::MessageMenu },
    { "application menu", MainScene::ApplicationMenu },
    { "clear history confirmation", MainScene::ClearHistory },
};

const std::pair<const char*, SettingsScene> settingsScenes[] = {
    { "unlinked", SettingsScene::Unlinked },
    { "waiting for the server", SettingsScene::Waiting },
    { "waiting with a code", SettingsScene::WaitingWithCode },
    { "linked, no push service", SettingsScene::Linked },
    { "link failed", SettingsScene::LinkFailed },
    { "credential unreadable", SettingsScene::CredentialProblem },
    { "sync error", SettingsScene::SyncError },
    { "notifications off", SettingsScene::NotificationsOff },
    { "no notification service", SettingsScene::NoNotificationService },
    { "unlink confirmation", SettingsScene::UnlinkConfirmation },
    { "clear confirmation", SettingsScene::ClearConfirmation },
};

// The failures a sync can end in, each with the words its own code gives it.
enum class SyncFailure
{
    RepeatedPage,
    ServerStatus,
    BadAddress,
    BadSecret,
    UnreadableData,
};

std::function<void()> failure(SyncFailure kind)
{
    switch (kind) {
    case SyncFailure::RepeatedPage:
        return failWith(SyncError::paginationDidNotAdvance());
    case SyncFailure::ServerStatus:
        return failWith(APIClient::APIError::http(503));
    case SyncFailure::BadAddress:
        return failWith(APIClient::APIError::badURL());
    case SyncFailure::BadSecret:
        return failWith(APIClient::APIError::badCredential());
    case SyncFailure::UnreadableData:
        try {
            WireDecoder::appList("{}");
        } catch (const DecodingError& error) {
            return failWith(error);
        }
        break;
    }
    return {};
}

} // namespace

Q_DECLARE_METATYPE(SyncFailure)
Q_DECLARE_METATYPE(MainScene)
Q_DECLARE_METATYPE(SettingsScene)

// Under a pseudo-translation that wraps every one of Tidewell's texts in markers and makes it a third longer, each
// state of each window shows no text that did not come through the translator, and cuts none off at its smallest.
class TestPseudoTranslation : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void textRule_data();
    void textRule();
    void mainWindowTexts_data();
    void mainWindowTexts();
    void mainWindowFits_data();
    void mainWindowFits();
    void settingsTexts_data();
    void settingsTexts();
    void settingsFit_data();
    void settingsFit();
    void statusItemTexts_data();
    void statusItemTexts();
    void syncFailureTexts_data();
    void syncFailureTexts();

private:
    // The German translation in place of the pseudo-translation, until the test function ends.
    void useGerman();
    void serve();
    void makeState(bool configured);
    // The main window in a scene, shown; the windows it opened for the scene (a question, a menu) are its children.
    void showMainWindow(MainScene scene);
    void showSettings(SettingsScene scene);

    QTranslator m_translator;
    QTranslator m_german;
    QTemporaryDir m_folder;
    std::unique_ptr<QSettings> m_prefs;
    MemoryCredentialStore m_credentials;
    std::shared_ptr<ScriptedClient> m_client;
    QNetworkAccessManager m_network;
    NotificationHandler m_handler;
    FakeNotificationCentre m_centre;
    std::unique_ptr<FakeServer> m_server;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<MainWindow> m_main;
    std::unique_ptr<SettingsWindow> m_settings;
};

void TestPseudoTranslation::initTestCase()
{
    // A locale whose times have words of their own (AM, PM), so that the rule for them is exercised.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QVERIFY2(m_translator.load(QStringLiteral(TIDEWELL_PSEUDO_TRANSLATION)), TIDEWELL_PSEUDO_TRANSLATION);
    QVERIFY(QCoreApplication::installTranslator(&m_translator));
    QVERIFY(m_german.load(QDir(QStringLiteral(TIDEWELL_TRANSLATIONS_BUILD_DIR)).filePath(u"tidewell_de.qm"_qs)));
}

void TestPseudoTranslation::init()
{
    m_prefs = std::make_unique<QSettings>(
        m_folder.filePath(QUuid::createUuid().toString(QUuid::WithoutBraces)), QSettings::IniFormat);
    m_credentials = MemoryCredentialStore();
    m_client = std::make_shared<ScriptedClient>();
    m_centre.status = Status::Authorized;
    m_handler.setCentre(&m_centre);
}

void TestPseudoTranslation::cleanup()
{
    m_main.reset();
    m_settings.reset();
    QCoreApplication::removeTranslator(&m_german);
    QCoreApplication::installTranslator(&m_translator);
    m_state.reset();
    m_server.reset();
}

void TestPseudoTranslation::useGerman()
{
    QCoreApplication::removeTranslator(&m_translator);
    QCoreApplication::installTranslator(&m_german);
    const QString settings = MainWindow::Texts::settings();
    QVERIFY2(settings != u"Settings"_qs && !settings.contains(markOpen), qPrintable(settings));
}

// Two applications with messages of every kind a row shows (with and without a title, a link, high and emergency
// priority), and a third without any.
void TestPseudoTranslation::serve()
{
    m_client->serverApps = { { 1, u"Backups"_qs, u"#336699"_qs, false }, { 2, u"Deploys"_qs, u"#aa3322"_qs, false },
        { 3, u"Silent"_qs, u"#000000"_qs, false } };
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    m_client->addMessage(makeMessage(1, 1, now - 3 * 86400, u"All volumes copied"_qs, u"Nightly run"_qs));
    Message release = makeMessage(2, 2, now - 7200, u"Release rolled out to every region"_qs, std::nullopt, 5);
    release.url = u"https://ci.example.com/pipelines/42"_qs;
    release.urlTitle = u"Pipeline"_qs;
    m_client->addMessage(release);
    m_client->addMessage(makeMessage(3, 1, now - 600, u"Volume at ninety percent"_qs, u"Disk almost full"_qs, 4));
    m_client->addMessage(makeMessage(4, 2, now - 20, u"Canary failed its checks"_qs, u"Rollback"_qs));
}

void TestPseudoTranslation::makeState(bool configured)
{
    if (configured)
        QVERIFY(QCoro::waitFor(linked.save(m_credentials)));
    AppState::Services services;
    services.network = &m_network;
    services.credentials = &m_credentials;
    services.preferences = m_prefs.get();
    services.openCache = [](bool) { return Store::openCache(true); };
    services.makeClient = [client = m_client](const DeviceConfig&) { return client; };
    services.notifications = &m_handler;
    services.linkPollInterval = std::chrono::milliseconds(20);
    m_state = std::make_unique<AppState>(false, services);
    if (configured)
        await(m_state->sync());
}

void TestPseudoTranslation::showMainWindow(MainScene scene)
{
    serve();
    if (scene == MainScene::ErrorBanner)
        m_client->failures.insert(u"messages"_qs, failWith(SyncError::paginationDidNotAdvance()));
    makeState(scene != MainScene::NotConfigured && scene != MainScene::LinkConfirmation);
    if (scene == MainScene::OfflineBanner)
        await(m_state->unlink()); // what an earlier link cached stays
    m_main = std::make_unique<MainWindow>(*m_state);
    shrink(m_main.get());
    m_main->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_main.get()));
    if (scene == MainScene::OfflineBanner) {
        m_state->cache().insert(CachedMessage(makeMessage(9, 1, 0, u"All volumes copied"_qs)));
        m_state->cache().save();
    }
    switch (scene) {
    case MainScene::OfflineBanner:
    case MainScene::ErrorBanner: {
        const QString name = scene == MainScene::OfflineBanner ? u"offlineBanner"_qs : u"errorBanner"_qs;
        QTRY_VERIFY(m_main->findChild<QWidget*>(name)->isVisible());
        break;
    }
    case MainScene::NoMessages:
        m_state->setSelectedAppId(3);
        QVERIFY(m_main->messageList()->emptyState()->isVisible());
        break;
    case MainScene::NoResults:
        m_main->messageList()->searchField()->setText(u"zzzz"_qs);
        QVERIFY(m_main->messageList()->emptyState()->isVisible());
        break;
    case MainScene::LinkConfirmation:
        m_state->setPendingLink(DeviceConfig { QUrl(u"https://other.example:8443"_qs), linkSecret });
        QTRY_VERIFY(m_main->linkConfirmation() && m_main->linkConfirmation()->isVisible());
        break;
    case MainScene::MessageMenu:
    case MainScene::ApplicationMenu:
    case MainScene::ClearHistory: {
        const bool messages = scene == MainScene::MessageMenu;
        QAbstractItemView* view
            = messages ? static_cast<QAbstractItemView*>(m_main->messageList()->view()) : m_main->appList()->view();
        // The message with a link, or the application "Deploys": each menu at its fullest.
        const int row = messages ? m_main->messageList()->model()->rowOf(2) : m_main->appList()->model()->rowOf(2);
        const QPoint at = view->visualRect(view->model()->index(row, 0)).center();
        QContextMenuEvent click(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
        QApplication::sendEvent(view->viewport(), &click);
        const QString name = messages ? u"messageContextMenu"_qs : u"appContextMenu"_qs;
        QTRY_VERIFY(m_main->findChild<QMenu*>(name) && m_main->findChild<QMenu*>(name)->isVisible());
        if (scene == MainScene::ClearHistory) {
            auto* menu = m_main->findChild<QMenu*>(name);
            TRIGGER_ACTION(menu, u"clearHistory"_qs);
            menu->close();
            QTRY_VERIFY(m_main->findChild<QMessageBox*>(u"clearHistoryConfirmation"_qs)
                && m_main->findChild<QMessageBox*>(u"clearHistoryConfirmation"_qs)->isVisible());
        }
        break;
    }
    default:
        break;
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
}

void TestPseudoTranslation::mainWindowTexts_data()
{
    QTest::addColumn<MainScene>("scene");
    for (const auto& [name, scene] : mainScenes)
        QTest::newRow(name) << scene;
}

void TestPseudoTranslation::mainWindowTexts()
{
    QFETCH(MainScene, scene);
    showMainWindow(scene);
    if (QTest::currentTestFailed())
        return;
    TextWalk walk;
    walk.window(m_main.get());
    QVERIFY(walk.texts > 10);
    QVERIFY2(walk.failures.isEmpty(), qPrintable(u"\n"_qs + walk.failures.join(u'\n')));
}

// The same states under the pseudo-translation and under the German one, whose words are the longest shipped.
void TestPseudoTranslation::mainWindowFits_data()
{
    QTest::addColumn<MainScene>("scene");
    QTest::addColumn<bool>("german");
    for (const bool german : { false, true }) {
        for (const auto& [name, scene] : mainScenes)
            QTest::addRow("%s, %s", german ? "German" : "pseudo", name) << scene << german;
    }
}

void TestPseudoTranslation::mainWindowFits()
{
    QFETCH(MainScene, scene);
    QFETCH(bool, german);
    if (german)
        useGerman();
    showMainWindow(scene);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(m_main->size(), m_main->minimumSize());
    // Nothing is squeezed below what it needs, which a window's explicit minimum would otherwise allow.
    const QWidget* central = m_main->centralWidget();
    QVERIFY2(central->minimumSizeHint().width() <= central->width(),
        qPrintable(u"needs %1, has %2"_qs.arg(central->minimumSizeHint().width()).arg(central->width())));
    QStringList cut = cutTexts(m_main.get());
    for (QWidget* window : m_main->findChildren<QWidget*>()) {
        if (window->isWindow() && window->isVisible())
            cut += cutTexts(window);
    }
    QVERIFY2(cut.isEmpty(), qPrintable(u"\n"_qs + cut.join(u'\n')));
}

void TestPseudoTranslation::showSettings(SettingsScene scene)
{
    m_server = std::make_unique<FakeServer>();
    m_server->setHandler([scene](const FakeServer::Request& request) {
        if (request.target == "/api/link" && scene == SettingsScene::LinkFailed)
            return Response::empty(500);
        if (request.target == "/api/link")
            return Response::json(R"({"code":"K7MX3Q","poll_token":"pt-1","expires_in":600})");
        return Response::json(R"({"status":"pending"})");
    });
    SettingsWindow::Services services;
    services.serverURL = m_server->url();
    services.openURL = [](const QUrl&) {};
    services.notifications = &m_handler;
    services.registerForRemoteNotifications = [] {};
    services.openNotificationSettings = [] { return true; };
    services.preferences = m_prefs.get();
    services.shortVersion = u"1.4.2"_qs;
    services.buildVersion = u"87"_qs;
    services.pushServiceAvailable = scene != SettingsScene::Linked;

    if (scene == SettingsScene::NotificationsOff)
        m_centre.status = Status::Denied;
    if (scene == SettingsScene::NoNotificationService)
        m_centre.status = Status::Unavailable;
    if (scene == SettingsScene::SyncError)
        m_client->failures.insert(u"messages"_qs, failWith(SyncError::paginationDidNotAdvance()));
    if (scene == SettingsScene::CredentialProblem) {
        QVERIFY(QCoro::waitFor(linked.save(m_credentials)));
        m_credentials.failReads(CredentialStore::Placement::Primary, true);
    }
    serve();
    const bool configured = scene == SettingsScene::Linked || scene == SettingsScene::SyncError
        || scene == SettingsScene::UnlinkConfirmation || scene == SettingsScene::ClearConfirmation;
    makeState(configured);
    if (scene == SettingsScene::CredentialProblem)
        QVERIFY(m_state->credentialProblem().has_value());
    m_settings = std::make_unique<SettingsWindow>(*m_state, services);
    QSignalSpy read(m_settings.get(), &SettingsWindow::notificationStatusRead);
    shrink(m_settings.get());
    m_settings->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_settings.get()));
    QTRY_COMPARE(read.size(), 1);

    const auto button = [this](const char* name) { return m_settings->findChild<QPushButton*>(QLatin1String(name)); };
    switch (scene) {
    case SettingsScene::Waiting:
    case SettingsScene::WaitingWithCode:
    case SettingsScene::LinkFailed:
        QTest::mouseClick(button("linkButton"), Qt::LeftButton);
        if (scene == SettingsScene::WaitingWithCode)
            QTRY_COMPARE(m_settings->findChild<QLabel*>(u"pairCode"_qs)->text(), u"K7MX3Q"_qs);
        if (scene == SettingsScene::LinkFailed)
            QTRY_COMPARE(m_state->linkPhase().kind, LinkPhase::Kind::Failed);
        else
            QCOMPARE(m_state->linkPhase().kind, LinkPhase::Kind::Waiting);
        break;
    case SettingsScene::UnlinkConfirmation:
        QTest::mouseClick(button("unlinkButton"), Qt::LeftButton);
        QTRY_VERIFY(m_settings->unlinkConfirmation() && m_settings->unlinkConfirmation()->isVisible());
        break;
    case SettingsScene::ClearConfirmation:
        QTest::mouseClick(button("clearCacheButton"), Qt::LeftButton);
        QTRY_VERIFY(m_settings->clearConfirmation() && m_settings->clearConfirmation()->isVisible());
        break;
    default:
        break;
    }
    if (scene == SettingsScene::SyncError)
        QTRY_VERIFY(m_settings->findChild<QWidget*>(u"lastErrorRow"_qs)->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
}

void TestPseudoTranslation::settingsTexts_data()
{
    QTest::addColumn<SettingsScene>("scene");
    for (const auto& [name, scene] : settingsScenes)
        QTest::newRow(name) << scene;
}

void TestPseudoTranslation::settingsTexts()
{
    QFETCH(SettingsScene, scene);
    showSettings(scene);
    if (QTest::currentTestFailed())
        return;
    TextWalk walk;
    walk.window(m_settings.get());
    QVERIFY(walk.texts > 20);
    QVERIFY2(walk.failures.isEmpty(), qPrintable(u"\n"_qs + walk.failures.join(u'\n')));
}

void TestPseudoTranslation::settingsFit_data()
{
    QTest::addColumn<SettingsScene>("scene");
    QTest::addColumn<bool>("german");
    for (const bool german : { false, true }) {
        for (const auto& [name, scene] : settingsScenes)
            QTest::addRow("%s, %s", german ? "German" : "pseudo", name) << scene << german;
    }
}

void TestPseudoTranslation::settingsFit()
{
    QFETCH(SettingsScene, scene);
    QFETCH(bool, german);
    if (german)
        useGerman();
    showSettings(scene);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(m_settings->size(), m_settings->minimumSize());
    QStringList cut = cutTexts(m_settings.get());
    for (QWidget* window : m_settings->findChildren<QWidget*>()) {
        if (window->isWindow() && window->isVisible())
            cut += cutTexts(window);
    }
    QVERIFY2(cut.isEmpty(), qPrintable(u"\n"_qs + cut.join(u'\n')));
}

void TestPseudoTranslation::statusItemTexts_data()
{
    QTest::addColumn<bool>("unread");
    QTest::newRow("nothing unread") << false;
    QTest::newRow("unread") << true;
}

void TestPseudoTranslation::statusItemTexts()
{
    QFETCH(bool, unread);
    if (unread)
        serve();
    makeState(true);
    StatusItem item(*m_state);
    item.menu()->popup(QPoint(0, 0));
    TextWalk walk;
    walk.check(u"status item"_qs, u"tool tip"_qs, item.trayIcon()->toolTip());
    walk.menu(u"status item"_qs, item.menu());
    item.menu()->hide();
    // The tool tip, and each entry's text, tool tip and icon text: the entry "Mark … Read" only with unread ones.
    QCOMPARE(walk.texts, 1 + 3 * (unread ? 3 : 2));
    QVERIFY2(walk.failures.isEmpty(), qPrintable(u"\n"_qs + walk.failures.join(u'\n')));
}

// A failed sync shows the failure's own words in the main window's banner and in the settings.
void TestPseudoTranslation::syncFailureTexts_data()
{
    QTest::addColumn<SyncFailure>("kind");
    QTest::newRow("repeated page") << SyncFailure::RepeatedPage;
    QTest::newRow("server status") << SyncFailure::ServerStatus;
    QTest::newRow("bad address") << SyncFailure::BadAddress;
    QTest::newRow("bad secret") << SyncFailure::BadSecret;
    QTest::newRow("unreadable data") << SyncFailure::UnreadableData;
}

void TestPseudoTranslation::syncFailureTexts()
{
    QFETCH(SyncFailure, kind);
    const std::function<void()> fail = failure(kind);
    QVERIFY(fail);
    m_client->failures.insert(u"messages"_qs, fail);
    makeState(true);
    QVERIFY(m_state->lastSyncError().has_value());
    MainWindow main(*m_state);
    SettingsWindow::Services services;
    services.notifications = &m_handler;
    SettingsWindow settings(*m_state, services);
    TextWalk walk;
    for (QWidget* window : { static_cast<QWidget*>(&main), static_cast<QWidget*>(&settings) }) {
        QLabel* shown = nullptr;
        for (QLabel* label : window->findChildren<QLabel*>()) {
            if (label->text() == *m_state->lastSyncError())
                shown = label;
        }
        QVERIFY2(shown, window->metaObject()->className());
        walk.check(pathOf(shown), u"text"_qs, shown->text());
    }
    QVERIFY2(walk.failures.isEmpty(), qPrintable(u"\n"_qs + walk.failures.join(u'\n')));
}

// The rule the walks apply, on texts as the windows might show them.
void TestPseudoTranslation::textRule_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("passes");
    QTest::newRow("translated") << u"\u27e6Sync ~~\u27e7"_qs << true;
    QTest::newRow("translated around a server text") << u"\u27e6Search Deploys ~~~\u27e7"_qs << true;
    QTest::newRow("translated inside translated") << u"\u27e6Search \u27e6All Messages ~~~~\u27e7 ~~~\u27e7"_qs << true;
    QTest::newRow("translated parts and a count") << u"\u27e6Mark ~\u27e7 42 \u27e6Read ~\u27e7"_qs << true;
    QTest::newRow("a server text") << u"Deploys"_qs << true;
    QTest::newRow("an isolated server text") << u"\u2068Deploys\u2069"_qs << true;
    QTest::newRow("a count") << u"99+"_qs << true;
    QTest::newRow("a time of day") << u"5:57 PM"_qs << true;
    QTest::newRow("a date") << u"Jan 5, 2025"_qs << true;
    QTest::newRow("not translated") << u"Sync"_qs << false;
    QTest::newRow("joined to a server text") << u"Search Deploys"_qs << false;
    QTest::newRow("a word beside a translated part") << u"\u27e6Sync ~\u27e7 now"_qs << false;
    QTest::newRow("a word beside a server text") << u"Clear the history of Backups?"_qs << false;
    QTest::newRow("an unclosed marker") << u"\u27e6Sync ~~"_qs << false;
    QTest::newRow("a month's letters inside a word") << u"Janitor"_qs << false;
}

void TestPseudoTranslation::textRule()
{
    QFETCH(QString, text);
    QFETCH(bool, passes);
    QCOMPARE(cameThroughTheTranslator(text), passes);
}

QTEST_MAIN(TestPseudoTranslation)
#include "test_pseudotranslation.moc"
