#include "UiText.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QPixmap>

#include <cstdlib>

QString LabelFromLocal(const std::string& text) {
    QString s = FromLocal(text);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return s;
}

std::string LabelToLocal(const QString& text) {
    QString s = text;
    s.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return ToLocal(s);
}

QString DialogFaceName() {
#ifdef Q_OS_WIN
    return QStringLiteral("MS Shell Dlg");
#else
    static const QString face = [] {
        const QStringList families = QFontDatabase::families();
        for (const char* candidate : {"WenQuanYi Micro Hei", "Noto Sans CJK SC", "Noto Sans CJK",
                                      "Source Han Sans SC", "Droid Sans Fallback"}) {
            for (const QString& family : families)
                if (family.compare(QLatin1String(candidate), Qt::CaseInsensitive) == 0)
                    return family;
            // Noto CJK comes under several names ("Noto Sans CJK SC Regular", ...).
            for (const QString& family : families)
                if (family.startsWith(QLatin1String(candidate), Qt::CaseInsensitive))
                    return family;
        }
        return QFont().family();
    }();
    return face;
#endif
}

QFont DialogFont(int pointSize) {
    QFont font(DialogFaceName(), pointSize);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

namespace {

// MulDiv: the product divided, rounded half away from zero.
int MulDiv(int a, int b, int c) {
    const long long p = static_cast<long long>(a) * b;
    const long long q = (std::llabs(p) * 2 + c) / (2LL * c);
    return static_cast<int>(p < 0 ? -q : q);
}

} // namespace

tagBaseUnits BaseUnits(const QFont& font) {
    const QFontMetrics fm(font);
    const int width =
        fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(width / 26 + 1) / 2, fm.height()};
}

QRect MapDialogRect(const tagBaseUnits& units, int x, int y, int w, int h) {
    return QRect(MulDiv(x, units.cx, 4), MulDiv(y, units.cy, 8), MulDiv(w, units.cx, 4),
                 MulDiv(h, units.cy, 8));
}

QIcon MainIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal s = size;
        // A board with pins and a flash chip: what the tool writes to.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x1e, 0x6b, 0x3a));
        p.drawRoundedRect(QRectF(s * 0.06, s * 0.14, s * 0.88, s * 0.72), s * 0.08, s * 0.08);
        p.setBrush(QColor(0xd8, 0xb0, 0x40));
        for (int i = 0; i < 4; ++i) {
            const qreal x = s * (0.2 + 0.18 * i);
            p.drawRect(QRectF(x, s * 0.02, s * 0.07, s * 0.14));
            p.drawRect(QRectF(x, s * 0.84, s * 0.07, s * 0.14));
        }
        p.setBrush(QColor(0x20, 0x20, 0x20));
        p.drawRect(QRectF(s * 0.3, s * 0.32, s * 0.4, s * 0.36));
        p.setPen(QPen(QColor(0xf0, 0xf0, 0xf0), qMax<qreal>(1.0, s / 16)));
        p.drawLine(QPointF(s * 0.38, s * 0.5), QPointF(s * 0.62, s * 0.5));
        p.drawLine(QPointF(s * 0.5, s * 0.4), QPointF(s * 0.5, s * 0.6));
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}
