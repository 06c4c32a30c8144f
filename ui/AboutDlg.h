// The About box: name, version, a notice and the build date, in the current language.
#pragma once

#include <QDialog>

#include <string>

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent);
};

// The update line of the About box: the entry formatted with the build date and time.
std::string BuildUpdateText();
