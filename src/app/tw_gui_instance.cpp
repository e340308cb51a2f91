#include "app/tw_gui_instance.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>

namespace {

constexpr char kActivate[] = "activate\n";
constexpr char kAck[] = "ok\n";
// How long a later start keeps trying to reach the first one, which may still be
// between taking the lock and listening.
constexpr int kReachMs = 10000;

// Registered message numbers lie in 0xC000..0xFFFF; the same name gives the same number.
uint32_t MessageNumber(const std::string& Name) {
  uint32_t h = 2166136261u;
  for (unsigned char c : Name) h = (h ^ c) * 16777619u;
  return 0xC000u + (h % 0x4000u);
}

class TLocalInstance : public TTWInstance {
 public:
  TLocalInstance(const std::string& Name, const std::string& Folder) : FName(Name) {
    QString dir = QString::fromStdString(Folder);
    if (dir.isEmpty()) dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    // Per user: the runtime folder is the user's own, and the uid goes into the name
    // for the fall-back folders that are shared.
    const QString base = dir + "/tidewell-" + QString::fromStdString(Name) + "-" +
                         QString::number(static_cast<unsigned long>(getuid()));
    FLockPath = base + ".lock";
    FSocketPath = base + ".socket";
    FLock = std::make_unique<QLockFile>(FLockPath);
    // Only a dead owner makes the lock stale, never its age: a session can run for days.
    FLock->setStaleLockTime(0);
  }
  ~TLocalInstance() override { Close(); }

  uint32_t RegisterMessage() override {
    FMessage = MessageNumber(FName);
    return FMessage;
  }

  bool AlreadyRunning() override {
    // tryLock removes a lock whose owner has died (killed, crashed) and takes it.
    return !FLock->tryLock(0);
  }

  void Broadcast() override {
    QDeadlineTimer deadline(kReachMs);
    while (!deadline.hasExpired()) {
      QLocalSocket socket;
      socket.connectToServer(FSocketPath);
      if (socket.waitForConnected(500)) {
        socket.write(kActivate);
        socket.waitForBytesWritten(1000);
        socket.waitForReadyRead(2000);
        return;
      }
      // The first instance may not listen yet, or may just have ended.
      if (FLock->tryLock(0)) {
        // It ended: nobody to raise. Give the lock back for the next start.
        FLock->unlock();
        return;
      }
      QThread::msleep(20);
    }
  }

  void Listen(TMessageHook Hook) override {
    FHook = std::move(Hook);
    FServer = std::make_unique<QLocalServer>();
    FServer->setSocketOptions(QLocalServer::UserAccessOption);
    // Holding the lock, any socket file left here belongs to a dead instance.
    QLocalServer::removeServer(FSocketPath);
    if (!FServer->listen(FSocketPath)) return;
    QObject::connect(FServer.get(), &QLocalServer::newConnection, FServer.get(), [this] {
      while (QLocalSocket* s = FServer->nextPendingConnection()) {
        QObject::connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
        QObject::connect(s, &QLocalSocket::readyRead, s, [this, s] {
          // Only a bounded, exact request counts; anything else is dropped.
          const QByteArray data = s->read(64);
          if (data != kActivate) {
            s->disconnectFromServer();
            return;
          }
          s->write(kAck);
          s->flush();
          if (FHook) FHook(FMessage);
        });
      }
    });
  }

  void Close() override {
    if (FServer) {
      FServer->close();
      FServer.reset();
    }
    if (FLock && FLock->isLocked()) FLock->unlock();
  }

 private:
  std::string FName;
  QString FLockPath, FSocketPath;
  std::unique_ptr<QLockFile> FLock;
  std::unique_ptr<QLocalServer> FServer;
  TMessageHook FHook;
  uint32_t FMessage = 0;
};

}  // namespace

std::unique_ptr<TTWInstance> CreateInstance(const std::string& Name, const std::string& Folder) {
  return std::make_unique<TLocalInstance>(Name, Folder);
}
