// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace tidewell {

// Texts that come from the server (titles, bodies, application names, link texts) were posted by whatever script
// sent them and may hold anything: terminal escapes, NULs, stray direction overrides. These functions make such a
// text safe to show or hand on, so that it reads as its sender wrote it and cannot change anything beside it.
class ServerText
{
public:
    // The text without C0 and C1 control characters (NUL, BEL, ESC, DEL, U+0080–U+009F…) and with everything
    // around them kept. Tabs stay; every spelling of a line break (CR LF, a lone CR, VT, FF, NEL) becomes "\n".
    static QString withoutControls(const QString& text);

    // Each paragraph of the text with its own explicit direction controls (embeddings, overrides, isolates) paired
    // up: closers without an opener are dropped, openers left open are closed at the paragraph's end. What the
    // text does to its own direction then ends where it ends.
    static QString balanced(const QString& text);

    // Each paragraph of the text, balanced, as an isolated run (U+2068 FIRST STRONG ISOLATE … U+2069 POP
    // DIRECTIONAL ISOLATE): it takes its direction from its own first strong character, so right-to-left texts
    // still read right to left, and neither it nor anything inside it changes the direction of what is around it.
    // Empty paragraphs stay empty.
    static QString isolated(const QString& text);

    // What the window draws of a server's text: without control characters, isolated.
    static QString forDisplay(const QString& text) { return isolated(withoutControls(text)); }
    // What is handed on as text, to the clipboard, assistive technologies or the notification server: without
    // control characters, balanced, and without isolate marks of its own, which the reader would only see as noise.
    static QString plain(const QString& text) { return balanced(withoutControls(text)); }
};

} // namespace tidewell
