// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/servertext.h"

#include <QStringView>
#include <QVarLengthArray>

#include <algorithm>

namespace tidewell {

namespace {

constexpr char16_t lre = 0x202A; // left-to-right embedding
constexpr char16_t rle = 0x202B; // right-to-left embedding
constexpr char16_t pdf = 0x202C; // pop directional formatting: ends an embedding or override
constexpr char16_t lro = 0x202D; // left-to-right override
constexpr char16_t rlo = 0x202E; // right-to-left override
constexpr char16_t lri = 0x2066; // left-to-right isolate
constexpr char16_t rli = 0x2067; // right-to-left isolate
constexpr char16_t fsi = 0x2068; // first strong isolate
constexpr char16_t pdi = 0x2069; // pop directional isolate

bool isControl(char16_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

bool isLineBreak(char16_t c)
{
    return c == u'\n' || c == u'\r' || c == 0x0B || c == 0x0C || c == 0x85;
}

bool isDirectionControl(char16_t c)
{
    return (c >= lre && c <= rlo) || (c >= lri && c <= pdi);
}

// The bidirectional algorithm resets every embedding and isolate at a paragraph separator, so each paragraph is
// paired up and isolated on its own; a run that spanned paragraphs would not be one run to a renderer.
bool endsParagraph(QChar c)
{
    return c.direction() == QChar::DirB;
}

// Appends one paragraph to `out` with its direction controls paired up. A PDF closes only an embedding opened
// inside the innermost open isolate and a PDI only an open isolate, as the bidirectional algorithm matches them;
// anything else they would close lies outside the text, so they are dropped.
void appendBalanced(QString& out, QStringView paragraph)
{
    QVarLengthArray<char16_t, 16> closers; // what each open embedding or isolate needs, innermost last
    qsizetype openIsolates = 0;
    for (const QChar ch : paragraph) {
        switch (const char16_t c = ch.unicode()) {
        case lre:
        case rle:
        case lro:
        case rlo:
            closers.append(pdf);
            out.append(ch);
            break;
        case lri:
        case rli:
        case fsi:
            closers.append(pdi);
            ++openIsolates;
            out.append(ch);
            break;
        case pdf:
            if (!closers.isEmpty() && closers.back() == pdf) {
                closers.pop_back();
                out.append(ch);
            }
            break;
        case pdi:
            if (openIsolates > 0) {
                // A PDI ends the embeddings opened inside its isolate too; they are closed explicitly, so that the
                // text pairs up also for a renderer that knows embeddings but not isolates.
                while (closers.back() == pdf) {
                    out.append(QChar(pdf));
                    closers.pop_back();
                }
                closers.pop_back();
                --openIsolates;
                out.append(ch);
            }
            break;
        default:
            out.append(QChar(c));
            break;
        }
    }
    while (!closers.isEmpty()) {
        out.append(QChar(closers.back()));
        closers.pop_back();
    }
}

// Calls `paragraph` with each paragraph of `text` and `separator` with each separator between them, in order.
template <typename Paragraph, typename Separator>
void forEachParagraph(const QString& text, Paragraph paragraph, Separator separator)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (endsParagraph(text.at(i))) {
            paragraph(QStringView(text).sliced(start, i - start));
            separator(text.at(i));
            start = i + 1;
        }
    }
    paragraph(QStringView(text).sliced(start));
}

} // namespace

QString ServerText::withoutControls(const QString& text)
{
    const auto kept = [](QChar c) { return !isControl(c.unicode()) || c == u'\t' || c == u'\n'; };
    if (std::all_of(text.cbegin(), text.cend(), kept))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (kept(c))
            out.append(c);
        else if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
            continue; // the "\n" that follows stands for both
        else if (isLineBreak(c.unicode()))
            out.append(u'\n');
        // Any other control is dropped alone: a NUL in particular would end the text for a C string.
    }
    return out;
}

QString ServerText::balanced(const QString& text)
{
    if (std::none_of(text.cbegin(), text.cend(), [](QChar c) { return isDirectionControl(c.unicode()); }))
        return text;
    QString out;
    out.reserve(text.size() + 8);
    forEachParagraph(
        text, [&out](QStringView paragraph) { appendBalanced(out, paragraph); },
        [&out](QChar separator) { out.append(separator); });
    return out;
}

// Balanced embeddings and isolates inside the run are kept: they are how the sender set a word of the other
// direction into their text (a product name in an Arabic message), and inside the isolate they reach nothing else.
QString ServerText::isolated(const QString& text)
{
    QString out;
    out.reserve(text.size() + 8);
    forEachParagraph(
        text,
        [&out](QStringView paragraph) {
            const qsizetype start = out.size();
            out.append(QChar(fsi));
            appendBalanced(out, paragraph);
            if (out.size() == start + 1)
                out.truncate(start); // nothing to isolate
            else
                out.append(QChar(pdi));
        },
        [&out](QChar separator) { out.append(separator); });
    return out;
}

} // namespace tidewell
