#include "messaging/binary_messenger_impl.h"

#include <cstddef>
#include <exception>
#include <memory>
#include <utility>

#include "values/log_line.h"

namespace flutter {

// The engine hands the record over as laid out on a 64-bit target; these
// are the offsets at which the message callback reads it.
static_assert(sizeof(void*) != 8 ||
              offsetof(FlutterDesktopMessage, message) == 16);
static_assert(sizeof(void*) != 8 ||
              offsetof(FlutterDesktopMessage, message_size) == 24);
static_assert(sizeof(void*) != 8 ||
              offsetof(FlutterDesktopMessage, response_handle) == 32);

namespace {

// Holds the engine messenger reference of one incoming message; the last
// owner releases it.
using SharedMessenger = std::shared_ptr<FlutterDesktopMessenger>;

SharedMessenger TakeReference(FlutterDesktopMessengerRef messenger) {
  return SharedMessenger(FlutterDesktopMessengerAddRef(messenger),
                         [](FlutterDesktopMessengerRef taken) {
                           if (taken != nullptr) {
                             FlutterDesktopMessengerRelease(taken);
                           }
                         });
}

// The state of one message's reply, shared by every copy of the reply: the
// response handle is cleared, under the engine lock, by the one response
// that goes through. (Copies holding their own handle could each respond,
// and the engine allows one response per message.)
struct ReplyState {
  SharedMessenger messenger;
  const FlutterDesktopMessageResponseHandle* response_handle;

  // Responds if nothing has yet. `quiet_if_answered` is for the fallback
  // after an exception, which is no duplicate of the caller's making.
  void Respond(const uint8_t* data, uint64_t size, bool quiet_if_answered) {
    FlutterDesktopMessengerRef lock =
        FlutterDesktopMessengerLock(messenger.get());
    if (FlutterDesktopMessengerIsAvailable(messenger.get())) {
      if (response_handle == nullptr) {
        if (!quiet_if_answered) {
          internal::LogLine(
              "Error: Response can be set only once. Ignoring duplicate "
              "response.");
        }
      } else {
        FlutterDesktopMessengerSendResponse(messenger.get(), response_handle,
                                            data, static_cast<size_t>(size));
        response_handle = nullptr;
      }
    }
    if (lock != nullptr) {
      FlutterDesktopMessengerUnlock(lock);
    }
  }
};

void LogException(const char* where, const char* what) {
  internal::LogLine(std::string("Unhandled exception in ") + where + ": ",
                    what);
}

}  // namespace

void BinaryMessengerImpl::Send(const std::string& channel,
                               const uint8_t* message, uint64_t message_size,
                               BinaryReply reply) const {
  if (!reply) {
    FlutterDesktopMessengerSend(messenger_, channel.c_str(), message,
                                static_cast<size_t>(message_size));
    return;
  }
  auto held = std::make_unique<BinaryReply>(std::move(reply));
  if (FlutterDesktopMessengerSendWithReply(messenger_, channel.c_str(), message,
                                           static_cast<size_t>(message_size),
                                           OnEngineReply, held.get())) {
    // The engine's now: OnEngineReply frees it.
    static_cast<void>(held.release());  // NOLINT(bugprone-unused-return-value)
  }
}

void BinaryMessengerImpl::SetMessageHandler(const std::string& channel,
                                            BinaryMessageHandler handler) {
  if (!handler) {
    handlers_.erase(channel);
    FlutterDesktopMessengerSetCallback(messenger_, channel.c_str(), nullptr,
                                       nullptr);
    return;
  }
  BinaryMessageHandler& stored = handlers_[channel];
  stored = std::move(handler);
  FlutterDesktopMessengerSetCallback(messenger_, channel.c_str(),
                                     OnEngineMessage, &stored);
}

void OnEngineMessage(FlutterDesktopMessengerRef messenger,
                     const FlutterDesktopMessage* message, void* context) {
  std::shared_ptr<ReplyState> state;
  std::string what;
  try {
    state = std::make_shared<ReplyState>(
        ReplyState{TakeReference(messenger), message->response_handle});
    BinaryReply reply = [state](const uint8_t* data, uint64_t size) {
      state->Respond(data, size, false);
    };
    const auto& handler = *static_cast<const BinaryMessageHandler*>(context);
    handler(message->message, message->message_size, std::move(reply));
    return;
  } catch (const std::exception& error) {
    what = error.what();
  } catch (...) {
    what = "not a std::exception";
  }
  // The handler failed: answer the message empty, unless it was answered
  // before the exception, so that the application side is not left waiting.
  try {
    LogException("OnEngineMessage", what.c_str());
    if (state) {
      state->Respond(nullptr, 0, true);
    }
  } catch (...) {  // nothing may reach the engine
  }
}

void OnEngineReply(const uint8_t* data, size_t data_size, void* context) {
  std::unique_ptr<BinaryReply> reply(static_cast<BinaryReply*>(context));
  try {
    (*reply)(data, data_size);
  } catch (const std::exception& error) {
    try {
      LogException("OnEngineReply", error.what());
    } catch (...) {  // nothing may reach the engine
    }
  } catch (...) {
    try {
      LogException("OnEngineReply", "not a std::exception");
    } catch (...) {
    }
  }
}

}  // namespace flutter
