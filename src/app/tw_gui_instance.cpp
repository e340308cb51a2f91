#include "app/tw_gui_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
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
  }
  ~TLocalInstance() override { Close(); }

  uint32_t RegisterMessage() override {
    FMessage = MessageNumber(FName);
    return FMessage;
  }

  bool AlreadyRunning() override { return !TryLock(); }

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
      if (TryLock()) {
        // It ended: nobody to raise. Give the lock back for the next start.
        Unlock();
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
    Unlock();
  }

 private:
  // The lock is an advisory lock on a file that is never removed: the kernel drops it
  // when its holder ends in any way (SIGKILL included), and two starts that race can
  // never both hold it, as they could if stale lock files were detected and deleted.
  bool TryLock() {
    if (FLockFd >= 0) return true;
    const QByteArray path = QFile::encodeName(FLockPath);
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      ::close(fd);
      return false;
    }
    FLockFd = fd;
    return true;
  }
  void Unlock() {
    if (FLockFd < 0) return;
    ::close(FLockFd);  // releases the lock
    FLockFd = -1;
  }

  std::string FName;
  QString FLockPath, FSocketPath;
  int FLockFd = -1;
  std::unique_ptr<QLocalServer> FServer;
  TMessageHook FHook;
  uint32_t FMessage = 0;
};

}  // namespace

std::unique_ptr<TTWInstance> CreateInstance(const std::string& Name, const std::string& Folder) {
  return std::make_unique<TLocalInstance>(Name, Folder);
}
