#ifndef QUORVANE_WRAPPER_MESSAGING_BINARY_MESSENGER_IMPL_H_
#define QUORVANE_WRAPPER_MESSAGING_BINARY_MESSENGER_IMPL_H_

#include <map>
#include <string>

#include "messaging/binary_messenger.h"
#include "messaging/flutter_windows.h"

namespace flutter {

// The messenger over the engine's messenger handle (not owned; no reference
// is taken for it). Each channel with a handler has one engine callback,
// OnEngineMessage, whose context is the stored handler's address: entries
// never move while they exist, and replacing a handler reuses its entry.
//
// Every incoming message takes one engine messenger reference, released
// when the message's reply and all its copies are gone, so a handler may
// keep the reply and answer later from another thread. A reply responds
// under the engine's messenger lock, at most once, and only while the
// engine says the messenger is available.
//
// The handler table has no lock: SetMessageHandler and message delivery run
// on the engine's thread. Destruction makes no engine call, so callbacks
// registered with the engine stay registered.
class BinaryMessengerImpl : public BinaryMessenger {
 public:
  explicit BinaryMessengerImpl(FlutterDesktopMessengerRef messenger)
      : messenger_(messenger) {}
  ~BinaryMessengerImpl() override = default;

  void Send(const std::string& channel, const uint8_t* message,
            uint64_t message_size, BinaryReply reply = nullptr) const override;
  void SetMessageHandler(const std::string& channel,
                         BinaryMessageHandler handler) override;

 private:
  FlutterDesktopMessengerRef messenger_;
  std::map<std::string, BinaryMessageHandler> handlers_;
};

// The engine's callbacks. Neither lets an exception reach the engine: one
// is logged, and a message not yet answered is answered empty.
void OnEngineMessage(FlutterDesktopMessengerRef messenger,
                     const FlutterDesktopMessage* message, void* context);
void OnEngineReply(const uint8_t* data, size_t data_size, void* context);

}  // namespace flutter

#endif  // QUORVANE_WRAPPER_MESSAGING_BINARY_MESSENGER_IMPL_H_
