#include "SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalSocket>
#include <QLockFile>

namespace {

QString CurrentUser() {
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty())
        user = qEnvironmentVariable("USERNAME");
    return user;
}

constexpr int kConnectMs = 1000;

} // namespace

CSingleInstance::CSingleInstance(const QString& programDir, QObject* parent)
    : QObject(parent), m_strName(NameFor(CurrentUser(), programDir)) {}

QString CSingleInstance::NameFor(const QString& user, const QString& programDir) {
    const QString dir = QDir(programDir).canonicalPath().isEmpty() ? QDir(programDir).absolutePath()
                                                                   : QDir(programDir).canonicalPath();
    const QByteArray key = (user + QLatin1Char('\n') + dir).toUtf8();
    return QStringLiteral("telvanor-") +
           QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(20));
}

bool CSingleInstance::Claim() {
    // Two copies started at the same moment must not both take the name: the check and the listen
    // happen under a lock file, which a crashed holder does not keep (its process is gone).
    QLockFile lock(QDir(QDir::tempPath()).filePath(m_strName + QStringLiteral(".lock")));
    lock.tryLock(5000);

    QLocalSocket socket;
    socket.connectToServer(m_strName);
    if (socket.waitForConnected(kConnectMs)) {
        socket.write("raise\n");
        socket.waitForBytesWritten(kConnectMs);
        socket.disconnectFromServer();
        return false;
    }
    // Nobody answers: a name left by a copy that crashed is removed, so it cannot block us.
    QLocalServer::removeServer(m_strName);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    m_server.listen(m_strName); // without the server this copy still runs; it just cannot be raised
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = m_server.nextPendingConnection()) {
            auto readRequest = [this, peer] {
                if (peer->readAll().contains("raise"))
                    emit activationRequested();
            };
            connect(peer, &QLocalSocket::readyRead, this, readRequest);
            if (peer->bytesAvailable() > 0)
                readRequest();
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
        }
    });
    return true;
}
