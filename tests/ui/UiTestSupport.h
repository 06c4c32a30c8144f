// What the window tests share: the offscreen start, private settings, configurations as start-up
// leaves them, and a recorder that answers every modal dialog in place of an operator.
#pragma once

#include "BrisvaneDlg.h"
#include "BurnConfig.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QString>
#include <QStringList>
#include <QTest>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// Offscreen platform unless another is asked for; the user's settings moved to a private folder.
void PrepareUiTestEnvironment();

#define TELVANOR_UI_TEST_MAIN(TestClass)                                                                     \
    int main(int argc, char** argv) {                                                                        \
        PrepareUiTestEnvironment();                                                                          \
        QApplication app(argc, argv);                                                                        \
        TestClass test;                                                                                      \
        return QTest::qExec(&test, argc, argv);                                                              \
    }

// Records every modal dialog (message dialog, system box, About box) and answers it: at once by
// default, or as answer does once the dialog runs.
class CDialogRecorder {
public:
    struct tagDialog {
        QString kind; // "message", "system" or "about"
        QString caption;
        QString text;
    };
    using Answer = std::function<void(QDialog&)>;

    explicit CDialogRecorder(Answer answer = [](QDialog& dialog) { dialog.accept(); });
    ~CDialogRecorder();
    CDialogRecorder(const CDialogRecorder&) = delete;
    CDialogRecorder& operator=(const CDialogRecorder&) = delete;

    std::vector<tagDialog> Dialogs() const;
    // "caption|text" of each dialog, in order.
    QStringList Texts() const;

private:
    mutable std::mutex m_mutex;
    std::vector<tagDialog> m_dialogs;
};

// The configuration start-up leaves: the item lists parsed, the language chosen.
std::unique_ptr<BurnConfig> MakeConfig(const std::string& extraInfo = std::string(),
                                       const std::string& cfgName = std::string(), int language = 2,
                                       const std::string& dir = std::string());

// The five saved values as the window finds them at opening (nullopt: leave the value out).
struct tagStoredEntries {
    std::optional<QString> serialPort;
    std::optional<QString> macAddress;
    std::optional<int> changeMode;
    std::optional<int> isSave;
    std::optional<int> ports;
};
void WriteStoredEntries(const tagStoredEntries& entries);
void ClearStoredEntries();

// Control access by ID.
QLineEdit* Edit(CBrisvaneDlg& dialog, int id);
QAbstractButton* Button(CBrisvaneDlg& dialog, int id);
QComboBox* PortBox(CBrisvaneDlg& dialog);
QStringList PortNames(CBrisvaneDlg& dialog);

// Shows the window and waits until it takes keyboard focus.
bool ShowAndActivate(CBrisvaneDlg& dialog);

// The log as the view shows it must be exactly the log's bytes with each line break shown as one.
QString ExpectedLogDisplay(const std::string& log);
QString ShownLog(CBrisvaneDlg& dialog);
