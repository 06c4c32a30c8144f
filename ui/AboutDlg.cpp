#include "AboutDlg.h"

#include "StrUtil.h"
#include "TextTables.h"
#include "UiText.h"

#include <QLabel>
#include <QPushButton>

#include <algorithm>

std::string BuildUpdateText() {
    // __DATE__ already has the "Aug  7 2014" form, __TIME__ the "16:40:09" form.
    return tv::FormatRuntime(Txt(strAboutUpdate), __DATE__, __TIME__);
}

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
    setFont(DialogFont(9));
    const tagBaseUnits units = BaseUnits(font());
    setFixedSize(MapDialogRect(units, 0, 0, 290, 62).size());
    setWindowTitle(TextOf(strAboutCaption));

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("IDC_ICON"));
    const QRect iconRect = MapDialogRect(units, 11, 12, 20, 20);
    icon->setGeometry(iconRect);
    icon->setPixmap(MainIcon().pixmap(iconRect.size()));

    auto addStatic = [&](const char* name, int x, int y, int w, int h, const QString& text) {
        auto* label = new QLabel(text, this);
        label->setObjectName(QLatin1String(name));
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setGeometry(MapDialogRect(units, x, y, w, h));
        return label;
    };
    addStatic("IDC_VERSION", 42, 12, 90, 8, TextOf(strAboutVersion));
    addStatic("IDC_NOTICE", 41, 25, 235, 8, TextOf(strAboutNotice));
    auto* ok = new QPushButton(TextOf(strOkButton), this);
    ok->setObjectName(QStringLiteral("IDOK"));
    ok->setGeometry(MapDialogRect(units, 236, 41, 47, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    QLabel* update = addStatic("IDC_UPDATE", 41, 38, 115, 8, FromLocal(BuildUpdateText()));
    // The Chinese date line is wider than its box: it may use the free room up to the OK button
    // rather than lose its time.
    const int wanted = update->fontMetrics().horizontalAdvance(update->text()) + 2;
    const int room = ok->geometry().left() - 4 - update->x();
    if (wanted > update->width())
        update->resize(std::min(wanted, room), update->height());
    ok->setFocus();
}
