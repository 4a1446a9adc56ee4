#pragma once
// The font printed pages are drawn with. Qt's PDF writer builds a font's text layer (its
// ToUnicode map) from the font's own character map read backwards, taking for each glyph
// the lowest code point that maps to it. Japanese fonts map several code points to one
// glyph (走 U+8D70 and the Kangxi radical ⾛ U+2F9B, ～ U+FF5E and 〜 U+301C), so copied
// or searched text came out as radicals. And Qt shapes Latin text with the font's
// substitutions, whose glyphs no code point maps to, so digits vanished from the text.
//
// The print font is a copy of the screen font made at run time with a character map that
// has one code point per glyph: of the code points sharing a glyph it keeps the one that
// Windows code page 932 text (every text the program stores) decodes to; the others are
// left to the font's fallback, where they get their own mapping. It is drawn without
// shaping. The glyphs, metrics and every other table are the screen font's own, so pages
// look as before, and the PDF embeds the copy as it embedded the original.

#include <QByteArray>
#include <QFont>

namespace quil::ui {

// `font` with the family of its print copy and unshaped text. When the copy cannot be
// made (a font without a character map Qt can read), `font` itself, unshaped.
QFont printFont(const QFont& font);

// A character map table ('cmap') with one code point per glyph, made from `cmap`; empty
// when `cmap` holds no Unicode map this can read.
QByteArray oneCodePointPerGlyph(const QByteArray& cmap);

}  // namespace quil::ui
