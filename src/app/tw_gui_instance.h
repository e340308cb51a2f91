// One instance per user session. The first start takes the lock and listens for later
// starts; a later start only tells the first one to come to the front and ends. On
// Linux the lock is a lock file and the channel a local socket in the user's runtime
// folder (an advisory lock that the kernel drops with its holder, so no stale lock ever
// blocks a start); a Windows build would put a named semaphore and a broadcast message behind
// the same interface.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

inline constexpr const char* TW_INSTANCE_GUID = "{b597dec1-5ab9-4f29-a4bb-4c397bac817b}";

class TTWInstance {
 public:
  using TMessageHook = std::function<void(uint32_t Msg)>;

  virtual ~TTWInstance() = default;

  // The instance message: the same number in every process of the session.
  virtual uint32_t RegisterMessage() = 0;
  // Creates or opens the lock; true when another instance holds it. A lock left by an
  // instance that was killed does not count.
  virtual bool AlreadyRunning() = 0;
  // A later start: hands the instance message to the running instance.
  virtual void Broadcast() = 0;
  // The first instance: from now on every instance message reaches Hook on the calling
  // (main) thread, from its event loop.
  virtual void Listen(TMessageHook Hook) = 0;
  // Releases the lock (the last step of shut-down).
  virtual void Close() = 0;
};

// Name is the lock's name (the GUID); Folder the folder for its files, empty for the
// user's runtime folder.
std::unique_ptr<TTWInstance> CreateInstance(const std::string& Name,
                                            const std::string& Folder = std::string());
