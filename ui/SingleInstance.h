// One copy per user and program folder: a second start asks the first copy to come forward and ends.
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

class CSingleInstance : public QObject {
    Q_OBJECT
public:
    // The name is derived from the user and the program folder.
    explicit CSingleInstance(const QString& programDir, QObject* parent = nullptr);

    // True when this is the first copy (it now listens for later starts); false when a running copy
    // answered and was asked to come forward.
    bool Claim();

    static QString NameFor(const QString& user, const QString& programDir);

signals:
    void activationRequested();

private:
    QString m_strName;
    QLocalServer m_server;
};
