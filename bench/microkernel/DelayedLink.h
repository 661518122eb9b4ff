#pragma once
// A TCP relay that holds every piece of data it passes for a fixed time in each direction, as a
// network link with that one-way latency would: a stand-in for a kernel delay queue (netem)
// where there is none. Listens on a loopback port and relays each connection to `targetPort`.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class DelayedLink {
 public:
  DelayedLink(uint16_t targetPort, std::chrono::microseconds oneWay);
  ~DelayedLink();
  DelayedLink(const DelayedLink&) = delete;
  DelayedLink& operator=(const DelayedLink&) = delete;

  // The port to connect to; 0 when the relay could not listen.
  uint16_t Port() const { return port_; }

 private:
  struct Direction;
  void Accept();
  void Relay(int client);

  uint16_t targetPort_;
  std::chrono::microseconds oneWay_;
  int listener_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread acceptor_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<Direction>> directions_;
  std::vector<int> sockets_;  // closed once the directions over them ended
};
