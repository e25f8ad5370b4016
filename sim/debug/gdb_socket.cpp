#include "sim/debug/gdb_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace boardsim::gdb {

FileDescriptor::~FileDescriptor() { Close(); }

FileDescriptor &FileDescriptor::operator=(FileDescriptor &&other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.Release();
  }
  return *this;
}

int FileDescriptor::Release() { return std::exchange(fd_, -1); }

void FileDescriptor::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

Connection::Received Connection::Receive(std::string &out, int timeoutMs) {
  if (!fd_.Open()) return Received::Closed;
  pollfd waiting{fd_.Get(), POLLIN, 0};
  int ready = 0;
  do ready = ::poll(&waiting, 1, timeoutMs);
  while (ready < 0 && errno == EINTR);
  if (ready == 0) return Received::Nothing;
  std::array<char, 4096> buffer{};
  const ssize_t got = ready < 0 ? -1 : ::recv(fd_.Get(), buffer.data(), buffer.size(), 0);
  if (got <= 0) {
    fd_.Close();
    return Received::Closed;
  }
  out.append(buffer.data(), static_cast<std::size_t>(got));
  return Received::Data;
}

bool Connection::Send(const std::string &bytes) {
  std::size_t sent = 0;
  while (fd_.Open() && sent < bytes.size()) {
    const ssize_t n = ::send(fd_.Get(), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      fd_.Close();
      return false;
    }
    sent += static_cast<std::size_t>(n);
  }
  return fd_.Open();
}

Listener::Listener(std::uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)), port_(port) {
  const std::string where = "127.0.0.1:" + std::to_string(port);
  if (!fd_.Open()) throw std::runtime_error("cannot open a socket for gdb: " + std::string(std::strerror(errno)));
  const int yes = 1;
  ::setsockopt(fd_.Get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(fd_.Get(), reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0)
    throw std::runtime_error("cannot listen for gdb on " + where + ": " + std::strerror(errno) +
                             " (choose another port with --gdb-port)");
  if (::listen(fd_.Get(), 1) != 0)
    throw std::runtime_error("cannot listen for gdb on " + where + ": " + std::strerror(errno));
  if (port == 0) {
    socklen_t length = sizeof address;
    ::getsockname(fd_.Get(), reinterpret_cast<sockaddr *>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
}

Connection Listener::AcceptOne() {
  int client = -1;
  do client = ::accept4(fd_.Get(), nullptr, nullptr, SOCK_CLOEXEC);
  while (client < 0 && errno == EINTR);
  if (client < 0) throw std::runtime_error("waiting for gdb failed: " + std::string(std::strerror(errno)));
  const int yes = 1;
  ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
  fd_.Close();
  return Connection(FileDescriptor(client));
}

}  // namespace boardsim::gdb
