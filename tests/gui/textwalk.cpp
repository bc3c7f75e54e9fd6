// SPDX-License-Identifier: GPL-3.0-or-later
#include "textwalk.h"

#include "lists/listpresentation.h"
#include "ui/applistmodel.h"
#include "ui/messagelistmodel.h"
#include "ui/messagerowdelegate.h"
#include "ui/relativetime.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTextDocumentFragment>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include <algorithm>

using namespace tidewell;
using namespace Qt::StringLiterals;

namespace {

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
QString untranslatedRest(const QString& text, const QStringList& serverTexts)
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
    // Longest first, so that a text holding a shorter one goes whole.
    QStringList servers = serverTexts;
    std::sort(servers.begin(), servers.end(), [](const QString& a, const QString& b) { return a.size() > b.size(); });
    for (const QString& server : servers)
        rest.replace(server, u" "_qs);
    for (const QString& word : localeWords())
        rest.replace(QRegularExpression(u"\\b"_qs + QRegularExpression::escape(word) + u"\\b"_qs), u" "_qs);
    return rest;
}

} // namespace

bool cameThroughTheTranslator(const QString& text, const QStringList& serverTexts)
{
    const QString rest = untranslatedRest(text, serverTexts);
    return std::none_of(rest.begin(), rest.end(), [](QChar c) { return c.isLetter(); });
}

namespace {

QString describe(const QObject* object)
{
    const QString name = object->objectName();
    return QString::fromLatin1(object->metaObject()->className())
        + (name.isEmpty() ? QString() : u" \""_qs + name + u'"');
}

// What a label shows: its text, without the markup when it is rich text.
QString shownText(const QLabel* label)
{
    return Qt::mightBeRichText(label->text()) && label->textFormat() != Qt::PlainText
        ? QTextDocumentFragment::fromHtml(label->text()).toPlainText()
        : label->text();
}

// The widest word of a wrapped text, which no line break can make narrower.
int widestWord(const QLabel* label)
{
    int widest = 0;
    for (const QString& word : shownText(label).split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts))
        widest = std::max(widest, label->fontMetrics().horizontalAdvance(word));
    return widest;
}

} // namespace

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

TextWalk::TextWalk(QStringList serverTexts)
    : m_serverTexts(std::move(serverTexts))
{ }

void TextWalk::window(QWidget* root)
{
    QList<QWidget*> widgets { root };
    widgets += root->findChildren<QWidget*>();
    for (QWidget* widget : widgets) {
        if (widget->isVisible())
            this->widget(widget);
    }
}

void TextWalk::check(const QString& where, const QString& what, const QString& text)
{
    if (text.isEmpty())
        return;
    ++texts;
    if (!cameThroughTheTranslator(text, m_serverTexts))
        failures.append(u"%1, %2: \u00ab%3\u00bb"_qs.arg(where, what, text));
}

void TextWalk::actions(const QString& where, const QList<QAction*>& actions)
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

void TextWalk::menu(const QString& where, QMenu* menu)
{
    if (!m_menus.contains(menu)) {
        m_menus.insert(menu);
        check(where, u"menu title"_qs, menu->title());
        actions(where + u" > menu"_qs, menu->actions());
    }
}

void TextWalk::widget(QWidget* widget)
{
    const QString where = pathOf(widget);
    if (widget->isWindow())
        check(where, u"window title"_qs, widget->windowTitle());
    check(where, u"tool tip"_qs, widget->toolTip());
    check(where, u"status tip"_qs, widget->statusTip());
    check(where, u"accessible name"_qs, widget->accessibleName());
    check(where, u"accessible description"_qs, widget->accessibleDescription());
    if (auto* label = qobject_cast<QLabel*>(widget))
        check(where, u"text"_qs, shownText(label));
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

void TextWalk::items(const QString& where, QAbstractItemView* view)
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
                    RelativeTime::text(QDateTime::fromSecsSinceEpoch(ts.toLongLong()), QDateTime::currentDateTime()));
            check(at, u"badge"_qs,
                ListPresentation::badgeText(index.data(AppListModel::UnreadRole).toLongLong()).value_or(QString()));
        }
    }
}

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

void shrink(QWidget* window)
{
    QSize smallest = window->minimumSize();
    if (smallest.isEmpty())
        smallest = window->minimumSizeHint();
    window->resize(smallest);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
}
