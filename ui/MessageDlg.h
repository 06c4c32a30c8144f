// The tool's own message dialog: a caption, one text it sizes itself to, and an OK button.
#pragma once

#include <QDialog>
#include <QFont>
#include <QString>

#include <memory>
#include <string>

class CStopFlag;
class QPushButton;

class CMessageDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMinTextWidth = 140;
    static constexpr int kMaxTextWidth = 280;

    CMessageDlg(const QString& caption, const QString& text, QWidget* owner);

    const QString& Caption() const { return m_strCaption; }
    const QString& Text() const { return m_strText; }
    // Wider than the widest window: drawn wrapped from the top left instead of centred.
    bool Wrapped() const { return m_nTextWidth > kMaxTextWidth; }
    QRect TextArea() const;
    QFont TextFont() const { return m_textFont; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_strCaption;
    QString m_strText;
    QFont m_textFont;
    int m_nTextWidth = 0;
    QPushButton* m_pOk = nullptr;
};

// The window that owns message dialogs (the main window); null when there is none.
void SetMessageOwner(QWidget* owner);
QWidget* MessageOwner();

// Runs the dialog modally on the window's thread; when stop is given and gets set, the dialog closes
// on its own (its job was stopped).
void RunMessageDlg(const std::string& caption, const std::string& text,
                   const std::shared_ptr<CStopFlag>& stop);

// Callable on any thread; returns when the operator has closed the dialog. On the job's thread it
// also returns at once when the job is stopped, and the dialog closes. Texts are local 8-bit.
void ShowMessageDlg(const std::string& caption, const std::string& text);
