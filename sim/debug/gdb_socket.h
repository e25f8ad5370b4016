// The loopback socket a gdb client connects to: one listener, one client.
#pragma once

#include <cstdint>
#include <string>

namespace boardsim::gdb {

// A file descriptor closed when it goes.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor();
  FileDescriptor(FileDescriptor &&other) noexcept : fd_(other.Release()) {}
  FileDescriptor &operator=(FileDescriptor &&other) noexcept;
  FileDescriptor(const FileDescriptor &) = delete;
  FileDescriptor &operator=(const FileDescriptor &) = delete;
  int Get() const { return fd_; }
  bool Open() const { return fd_ >= 0; }
  int Release();
  void Close();

 private:
  int fd_ = -1;
};

class Connection {
 public:
  explicit Connection(FileDescriptor fd) : fd_(std::move(fd)) {}
  enum class Received : std::uint8_t { Data, Nothing, Closed };
  // Waits up to timeoutMs (-1: without end) for bytes and appends what came
  // (at most 4 KiB) to out.
  Received Receive(std::string &out, int timeoutMs);
  // False if the client has gone.
  bool Send(const std::string &bytes);

 private:
  FileDescriptor fd_;
};

// Listens on 127.0.0.1 only. Throws std::runtime_error naming the port if
// it cannot.
class Listener {
 public:
  explicit Listener(std::uint16_t port);
  std::uint16_t Port() const { return port_; }
  // Waits for the one client, then stops listening: a second gdb finds the
  // port closed.
  Connection AcceptOne();

 private:
  FileDescriptor fd_;
  std::uint16_t port_ = 0;
};

}  // namespace boardsim::gdb
