#include "DelayedLink.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

void NoDelay(int fd) {
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

bool SendAll(int fd, const char* data, size_t n) {
  while (n > 0) {
    const ssize_t sent = ::send(fd, data, n, MSG_NOSIGNAL);
    if (sent <= 0) return false;
    data += sent;
    n -= static_cast<size_t>(sent);
  }
  return true;
}

}  // namespace

// One direction of one connection: a reader stamps what arrives with the time it may leave,
// a writer sends it then. Data keeps its order; a burst leaves as it came, one delay later.
struct DelayedLink::Direction {
  struct Piece {
    Clock::time_point due;
    std::string data;
  };
  int from, to;
  std::chrono::microseconds delay;
  std::mutex mutex;
  std::condition_variable ready;
  std::deque<Piece> pieces;
  bool ended = false;
  std::thread reader, writer;

  Direction(int f, int t, std::chrono::microseconds d) : from(f), to(t), delay(d) {
    reader = std::thread([this] { Read(); });
    writer = std::thread([this] { Write(); });
  }
  ~Direction() {
    ::shutdown(from, SHUT_RDWR);
    reader.join();
    writer.join();
  }
  void Read() {
    char buffer[65536];
    for (;;) {
      const ssize_t n = ::recv(from, buffer, sizeof buffer, 0);
      std::lock_guard lock(mutex);
      if (n <= 0) {
        ended = true;
        ready.notify_one();
        return;
      }
      pieces.push_back({Clock::now() + delay, std::string(buffer, static_cast<size_t>(n))});
      ready.notify_one();
    }
  }
  void Write() {
    std::unique_lock lock(mutex);
    for (;;) {
      ready.wait(lock, [this] { return ended || !pieces.empty(); });
      if (pieces.empty()) break;
      Piece piece = std::move(pieces.front());
      pieces.pop_front();
      lock.unlock();
      std::this_thread::sleep_until(piece.due);
      const bool sent = SendAll(to, piece.data.data(), piece.data.size());
      lock.lock();
      if (!sent) break;
    }
    ::shutdown(to, SHUT_WR);
  }
};

DelayedLink::DelayedLink(uint16_t targetPort, std::chrono::microseconds oneWay)
    : targetPort_(targetPort), oneWay_(oneWay) {
  listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in any = Loopback(0);
  socklen_t length = sizeof any;
  if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&any), sizeof any) != 0 ||
      ::listen(listener_, 16) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&any), &length) != 0)
    return;
  port_ = ntohs(any.sin_port);
  acceptor_ = std::thread([this] { Accept(); });
}

DelayedLink::~DelayedLink() {
  stop_ = true;
  if (acceptor_.joinable()) acceptor_.join();
  if (listener_ >= 0) ::close(listener_);
  std::lock_guard lock(mutex_);
  directions_.clear();
  for (int fd : sockets_) ::close(fd);
}

void DelayedLink::Accept() {
  pollfd listening{listener_, POLLIN, 0};
  while (!stop_) {
    if (::poll(&listening, 1, 100) <= 0) continue;
    const int client = ::accept(listener_, nullptr, nullptr);
    if (client >= 0) Relay(client);
  }
}

void DelayedLink::Relay(int client) {
  const int server = ::socket(AF_INET, SOCK_STREAM, 0);
  const sockaddr_in target = Loopback(targetPort_);
  if (server < 0 ||
      ::connect(server, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
    ::close(client);
    if (server >= 0) ::close(server);
    return;
  }
  NoDelay(client);
  NoDelay(server);
  std::lock_guard lock(mutex_);
  sockets_.insert(sockets_.end(), {client, server});
  directions_.push_back(std::make_unique<Direction>(client, server, oneWay_));
  directions_.push_back(std::make_unique<Direction>(server, client, oneWay_));
}
