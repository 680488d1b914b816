#ifndef QUORVANE_WRAPPER_MESSAGING_BINARY_MESSENGER_H_
#define QUORVANE_WRAPPER_MESSAGING_BINARY_MESSENGER_H_

#include <cstdint>
#include <functional>
#include <string>

namespace flutter {

// Answers one incoming message: (bytes or null, count). Copies share one
// answer: the first call responds, later calls log and send nothing.
using BinaryReply =
    std::function<void(const uint8_t* reply, uint64_t reply_size)>;

// Handles the messages of one channel. The reply is handed over: call it at
// once, keep it and call it later (from any thread), or drop it.
using BinaryMessageHandler = std::function<void(
    const uint8_t* message, uint64_t message_size, BinaryReply reply)>;

// Moves raw messages between the engine and per-channel handlers.
class BinaryMessenger {
 public:
  BinaryMessenger() = default;
  virtual ~BinaryMessenger() = default;
  BinaryMessenger(const BinaryMessenger&) = delete;
  BinaryMessenger& operator=(const BinaryMessenger&) = delete;

  // Sends a message on a channel; `reply`, when not empty, receives the
  // answer once, or is destroyed uncalled if the engine refuses the send.
  virtual void Send(const std::string& channel, const uint8_t* message,
                    uint64_t message_size,
                    BinaryReply reply = nullptr) const = 0;

  // One handler per channel; an empty handler removes the channel's.
  virtual void SetMessageHandler(const std::string& channel,
                                 BinaryMessageHandler handler) = 0;
};

}  // namespace flutter

#endif  // QUORVANE_WRAPPER_MESSAGING_BINARY_MESSENGER_H_
