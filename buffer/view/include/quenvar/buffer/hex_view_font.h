#pragma once

#include <QFont>
#include <QList>

namespace quenvar {

// The hex view lays its digits and characters out on a grid of one character width, so its font
// must give the hex digits, the letters, the space and the dot one advance width. That is checked
// on the font as it resolved: fontconfig's spacing field (QFontInfo::fixedPitch) is missing for
// some monospaced fonts and wrong for others.
bool HasEvenAdvances(const QFont& font);
// The widest advance among those characters: the grid's cell width, so that glyphs never overlap
// even in a font without even advances.
int GridAdvance(const QFont& font);

// The first of candidates that has even advances; when none has, the first family of Qt's font
// database that has them, those it lists as fixed pitch first; when still none, the first
// candidate.
// Every font is set to pixelSize.
QFont PickEvenFont(const QList<QFont>& candidates, int pixelSize);

// The view's font: "Courier New", then the system's fixed font, then "DejaVu Sans Mono", each at
// 13 pixels, by PickEvenFont.
QFont HexViewFont();

}  // namespace quenvar
