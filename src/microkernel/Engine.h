#pragma once
// The record manager's process-wide state: the client table and the cursor table, position
// block validation and operation dispatch. Every call runs under one mutex, except while it
// waits for a record lock, so that the other threads can go on (one of them may be the holder);
// a background thread that ends the walks of files left idle takes the mutex too.

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "microkernel/Session.h"

namespace vader::microkernel {

class Engine {
 public:
  static Engine& Instance();

  int16_t Call(uint16_t op, void* positionBlock, void* data, uint32_t* dataLength, void* key,
               uint8_t keyLength, int8_t keyNumber, const uint8_t* clientId);
  // A bulk scan of the file open at `positionBlock` (VADERSCANRECORDS).
  int16_t Scan(void* positionBlock, const uint8_t* clientId, int8_t keyNumber, int8_t start,
               const uint8_t* key, uint8_t keyLength, RecordSink* sink);
  // Ends every client (WBTRVSTOP).
  int16_t StopAll();

  // Used by the operations.
  std::shared_ptr<FileStore> StoreFor(Client& client, const std::string& path, Status& status);
  Cursor& NewCursor(Client& client, uint8_t* positionBlock);
  void CloseCursor(Cursor& cursor, uint8_t* positionBlock);
  // Aborts the client's transaction and closes its files (Stop, Reset).
  void EndClient(Client& client);
  // Resolves a caller's file or directory name against the client's current directory. With
  // `existing`, a name that does not exist as given is looked up ignoring case (a name to be
  // created is taken as given, so that no other file is replaced).
  static std::string Resolve(const Client& client, const std::string& name, bool existing);
  // Between the tries of a wait lock: lets the other threads run for a moment. 3 when another
  // thread closed the call's file meanwhile.
  Status PauseCall(const struct Call& call);

 private:
  Engine();
  ~Engine();
  // Every quarter second, ends the walks of files no call used since the last time: an open
  // walk keeps SQLite from starting the file's log over while other processes write.
  void EndIdleWalks();
  Status Dispatch(struct Call& call);
  // Clients and cursors are shared with the calls using them: a call that lets the mutex go
  // while it waits keeps its own alive even if another thread ends them meanwhile.
  const std::shared_ptr<Client>& ClientFor(const uint8_t* clientId);
  Cursor* CursorFor(const uint8_t* positionBlock, const Client& client) const;

  std::mutex mutex_;
  std::map<Bytes, std::shared_ptr<Client>> clients_;
  std::vector<std::shared_ptr<Cursor>> cursors_;  // by slot
  std::vector<uint32_t> freeSlots_;
  std::shared_ptr<Client> lastClient_;  // most calls come from the same client
  std::mt19937_64 random_;
  std::condition_variable stopping_;
  bool stop_ = false;
  std::thread idleWalks_;  // last: starts once the rest is set up
};

}  // namespace vader::microkernel
