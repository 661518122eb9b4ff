#pragma once
// Registered window messages and the posted broadcast.
//
// RegisterWindowMessage gives every distinct name (compared case-insensitively) one
// identifier in 0xC000-0xFFFF. The table lives in a small file shared by every process of
// the user, so each running copy of a program gets the same identifiers for the same names;
// when that file cannot be used the table is kept in the process.
//
// PostBroadcastMessage queues a message for every top-level window of the process. Posting
// never waits: the queue is delivered later, by the event loop, to the registered receivers.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vader::platform {

constexpr std::uint32_t kFirstRegisteredMessage = 0xC000;
constexpr std::uint32_t kLastRegisteredMessage = 0xFFFF;
constexpr std::uintptr_t kBroadcastWindow = 0xFFFF;  // HWND_BROADCAST

// The identifier for Name, or 0 when registering fails (an empty name, a full table).
std::uint32_t RegisterWindowMessage(const std::string& name);

// Where the shared table lives; an empty path keeps the table in the process only.
// Defaults to $XDG_RUNTIME_DIR (else the temporary directory)/vader-<uid>-messages.
void SetMessageTableFile(const std::string& path);

struct PostedMessage {
  std::uint32_t message;
  std::uintptr_t wParam;
  std::intptr_t lParam;
};

using BroadcastReceiver = std::function<void(const PostedMessage&)>;

// Queues Message for every top-level window; returns false only for message 0.
bool PostBroadcastMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);

// A top-level window registers to receive broadcasts; the returned id removes it again.
int AddBroadcastReceiver(BroadcastReceiver receiver);
void RemoveBroadcastReceiver(int id);

// Called by the event loop whenever a message is posted, so it can schedule delivery.
void SetPostWakeUp(std::function<void()> wakeUp);

// Hands every queued message to every receiver, in posting order. Run by the event loop.
void DeliverPostedMessages();

// The queued messages not yet delivered (for diagnostics and tests).
std::vector<PostedMessage> PendingBroadcasts();
void DiscardPendingBroadcasts();

}  // namespace vader::platform
