// Texts and fonts of the window program. Texts cross into the core as local 8-bit bytes.
#pragma once

#include "TextTables.h"

#include <QFont>
#include <QIcon>
#include <QRect>
#include <QString>

#include <string>
#include <string_view>

inline QString FromLocal(std::string_view s) {
    return QString::fromLocal8Bit(s.data(), qsizetype(s.size()));
}

inline std::string ToLocal(const QString& s) {
    const QByteArray bytes = s.toLocal8Bit();
    return std::string(bytes.constData(), std::size_t(bytes.size()));
}

// The current table's text for an entry.
inline QString TextOf(TextId id) {
    return FromLocal(Txt(id));
}

// A label shows a core text's CR LF as its line break; reading it back gives CR LF again.
QString LabelFromLocal(const std::string& text);
std::string LabelToLocal(const QString& text);

// The face of every dialog: one with CJK glyphs, so both languages render.
QString DialogFaceName();
QFont DialogFont(int pointSize);

// Dialog units as Windows maps them: a quarter of the font's average character width and an
// eighth of its height.
struct tagBaseUnits {
    int cx = 0;
    int cy = 0;
};
tagBaseUnits BaseUnits(const QFont& font);
QRect MapDialogRect(const tagBaseUnits& units, int x, int y, int w, int h);

// The program's icon, drawn rather than shipped as a file.
QIcon MainIcon();
