#include "MessageDlg.h"

#include "GuiCall.h"
#include "ModalHook.h"
#include "SystemMenu.h"
#include "TextTables.h"
#include "UiText.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QTextLayout>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <mutex>

namespace {

constexpr int kMargin = 16;
constexpr int kButtonBand = 48;
constexpr int kHeight = 150;
constexpr int kFrame = 38;

struct tagOwner {
    std::mutex mutex;
    QPointer<QWidget> owner;
    std::shared_ptr<CGuiGate> gate;
};

tagOwner& Owner() {
    static tagOwner owner;
    return owner;
}

// Line breaks of the text as the wrapped drawing honours them.
QString WithLineSeparators(QString text) {
    text.replace(QStringLiteral("\r\n"), QString(QChar::LineSeparator));
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    return text;
}

} // namespace

CMessageDlg::CMessageDlg(const QString& caption, const QString& text, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint),
      m_strCaption(caption), m_strText(text) {
    setFont(DialogFont(8));
    SetSystemMenuText(this, kScMove, TextOf(strSysMove));
    SetSystemMenuText(this, kScClose, TextOf(strSysClose));
    setWindowTitle(m_strCaption);
    m_pOk = new QPushButton(TextOf(strOkButton), this);
    m_pOk->setObjectName(QStringLiteral("IDOK"));
    m_pOk->setDefault(true);
    connect(m_pOk, &QPushButton::clicked, this, &QDialog::accept);

    // The measuring font and the drawing font are the same 9-point face, so the width test of the
    // painting matches the window size.
    m_textFont = QFont(font().family(), 9);
    m_nTextWidth = QFontMetrics(m_textFont).horizontalAdvance(m_strText);
    const int width = std::clamp(m_nTextWidth, kMinTextWidth, kMaxTextWidth) + kFrame;
    setFixedSize(width, kHeight);
    m_pOk->setGeometry(width - 100, kHeight - 36, 80, 26);
    m_pOk->setFocus();
}

QRect CMessageDlg::TextArea() const {
    return rect().adjusted(kMargin, kMargin, -kMargin, -kButtonBand);
}

void CMessageDlg::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    QPainter painter(this);
    painter.setFont(m_textFont);
    painter.setPen(palette().color(QPalette::WindowText));
    const QRect area = TextArea();
    if (!Wrapped()) {
        painter.drawText(area, Qt::AlignCenter | Qt::TextSingleLine, m_strText);
        return;
    }
    // Broken at word boundaries (inside a word only when it alone is too wide), from the top left;
    // a line that would not fit whole below the area's bottom edge is left out.
    QTextLayout layout(WithLineSeparators(m_strText), m_textFont, this);
    QTextOption option(Qt::AlignLeft | Qt::AlignTop);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    int fitting = 0;
    qreal y = 0;
    for (;;) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(area.width());
        if (y + line.height() > area.height())
            break;
        line.setPosition(QPointF(0, y));
        y += line.height();
        ++fitting;
    }
    layout.endLayout();
    painter.setClipRect(area);
    for (int i = 0; i < fitting; ++i)
        layout.lineAt(i).draw(&painter, area.topLeft());
}

void SetMessageOwner(QWidget* owner) {
    tagOwner& o = Owner();
    std::lock_guard<std::mutex> lock(o.mutex);
    if (o.gate)
        o.gate->Close();
    o.owner = owner;
    o.gate = owner ? std::make_shared<CGuiGate>(owner) : nullptr;
}

QWidget* MessageOwner() {
    tagOwner& o = Owner();
    std::lock_guard<std::mutex> lock(o.mutex);
    return o.owner.data();
}

void RunMessageDlg(const std::string& caption, const std::string& text,
                   const std::shared_ptr<CStopFlag>& stop) {
    CMessageDlg dialog(FromLocal(caption), FromLocal(text), MessageOwner());
    QTimer watch;
    if (stop) {
        // A stopped job no longer waits for the operator, so its dialog goes too.
        QObject::connect(&watch, &QTimer::timeout, &dialog, [&dialog, stop] {
            if (stop->IsStopped())
                dialog.reject();
        });
        watch.start(50);
    }
    ExecModal(dialog);
}

void ShowMessageDlg(const std::string& caption, const std::string& text) {
    std::shared_ptr<CGuiGate> gate;
    {
        tagOwner& o = Owner();
        std::lock_guard<std::mutex> lock(o.mutex);
        gate = o.gate;
    }
    if (gate && !gate->OnGuiThread()) {
        std::shared_ptr<CStopFlag> stop = CStopFlag::Current();
        CallOnGui(*gate, [caption, text, stop] { RunMessageDlg(caption, text, stop); });
        return;
    }
    if (!gate && (!qApp || QThread::currentThread() != qApp->thread()))
        return; // no window to show it over
    RunMessageDlg(caption, text, nullptr);
}
