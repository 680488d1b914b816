// The engine stand-in: the engine's sixteen C functions over real handle
// objects, and the control API that plays the engine and the application.
//
// One process-wide state behind one mutex. Callbacks into the plugin (and
// the application handler) run with that mutex released, because they call
// back into the engine. Handle objects are never freed before exit, so a
// stale handle is detected as misuse instead of touching freed memory.

#include <algorithm>
#include <atomic>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

#include "engine_control.h"

struct FlutterDesktopMessenger {
  int id = 0;
  bool retired = false;  // its registrar is gone
  bool available = true;
  int references = 0;  // taken with AddRef, not yet released
  std::map<std::string, quorvane_engine::ChannelCallback> callbacks;
  quorvane_engine::ApplicationHandler application;
  bool sends_fail = false;
  std::mutex engine_lock;  // FlutterDesktopMessengerLock / Unlock
  std::thread::id lock_owner;
};

struct FlutterDesktopTextureRegistrar {
  int id = 0;
  bool retired = false;
  int64_t next_texture = 1;
  std::map<int64_t, std::array<uint8_t, 40>> textures;
  std::vector<std::pair<FlutterDesktopOnTextureUnregistered, void*>> pending;
};

struct FlutterDesktopView {
  int id = 0;
};

struct FlutterDesktopPluginRegistrar {
  int id = 0;
  bool retired = false;
  FlutterDesktopMessenger* messenger = nullptr;
  FlutterDesktopTextureRegistrar* textures = nullptr;
  FlutterDesktopView* view = nullptr;
  FlutterDesktopOnPluginRegistrarDestroyed destruction_handler = nullptr;
};

struct FlutterDesktopMessageResponseHandle {
  uint64_t id = 0;
};

namespace quorvane_engine {
namespace {

struct Response {
  std::unique_ptr<FlutterDesktopMessageResponseHandle> handle;
  FlutterDesktopMessenger* messenger = nullptr;
  bool answered = false;
  std::vector<uint8_t> bytes;
};

struct Engine {
  std::mutex mutex;
  std::vector<std::unique_ptr<FlutterDesktopPluginRegistrar>> registrars;
  std::vector<std::unique_ptr<FlutterDesktopMessenger>> messengers;
  std::vector<std::unique_ptr<FlutterDesktopTextureRegistrar>>
      texture_registrars;
  std::vector<std::unique_ptr<FlutterDesktopView>> views;
  std::map<uint64_t, Response> responses;
  std::map<const FlutterDesktopMessageResponseHandle*, uint64_t> response_ids;
  std::vector<std::string> log;
  std::vector<std::string> failures;
  int next_id = 1;
  uint64_t next_message = 1;
  bool logging = true;

  void Log(std::string line) {
    if (logging) {
      log.push_back(std::move(line));
    }
  }
};

Engine& State() {
  static auto* engine = new Engine();  // outlives every static destructor
  return *engine;
}

using Lock = std::lock_guard<std::mutex>;

void Fail(Engine& engine, const std::string& what) {
  engine.failures.push_back(what);
  std::cerr << "engine stand-in: misuse: " << what << std::endl;
}

std::string Name(const void* handle, const char* kind, int id) {
  if (handle == nullptr) {
    return "null";
  }
  return std::string(kind) + "#" + std::to_string(id);
}

template <typename T>
bool Owns(const std::vector<std::unique_ptr<T>>& objects, const T* handle) {
  return std::any_of(
      objects.begin(), objects.end(),
      [handle](const auto& object) { return object.get() == handle; });
}

// The registrar behind a handle, or null (and a failure) when the engine
// never gave it out or it is gone.
FlutterDesktopPluginRegistrar* LiveRegistrar(Engine& engine,
                                             FlutterDesktopPluginRegistrarRef r,
                                             const char* call) {
  if (!Owns(engine.registrars, r) || r->retired) {
    Fail(engine, std::string(call) + " with an unknown or destroyed registrar");
    return nullptr;
  }
  return r;
}

// A messenger may be used after its registrar is gone only while the
// plugin still holds references to it.
FlutterDesktopMessenger* LiveMessenger(Engine& engine,
                                       FlutterDesktopMessengerRef m,
                                       const char* call) {
  if (!Owns(engine.messengers, m) || (m->retired && m->references == 0)) {
    Fail(engine, std::string(call) + " with an unknown or destroyed messenger");
    return nullptr;
  }
  return m;
}

FlutterDesktopTextureRegistrar* LiveTextures(
    Engine& engine, FlutterDesktopTextureRegistrarRef t, const char* call) {
  if (!Owns(engine.texture_registrars, t) || t->retired) {
    Fail(engine,
         std::string(call) + " with an unknown or destroyed texture registrar");
    return nullptr;
  }
  return t;
}

std::string M(FlutterDesktopMessengerRef m) {
  return Name(m, "messenger", m == nullptr ? 0 : m->id);
}
std::string R(FlutterDesktopPluginRegistrarRef r) {
  return Name(r, "registrar", r == nullptr ? 0 : r->id);
}
std::string T(FlutterDesktopTextureRegistrarRef t) {
  return Name(t, "textures", t == nullptr ? 0 : t->id);
}
std::string Quote(const char* text) {
  return text == nullptr ? "null" : "\"" + std::string(text) + "\"";
}
std::string Pointer(const void* p) { return p == nullptr ? "null" : "set"; }

// Each C function starts here: log the call with its arguments, then vet
// the handle (null, with the misuse recorded, when it is not live).
FlutterDesktopPluginRegistrar* Enter(Engine& engine, const char* call,
                                     FlutterDesktopPluginRegistrarRef r,
                                     const std::string& more = "") {
  engine.Log(std::string(call) + "(" + R(r) + more + ")");
  return LiveRegistrar(engine, r, call);
}
FlutterDesktopMessenger* Enter(Engine& engine, const char* call,
                               FlutterDesktopMessengerRef m,
                               const std::string& more = "") {
  engine.Log(std::string(call) + "(" + M(m) + more + ")");
  return LiveMessenger(engine, m, call);
}
FlutterDesktopTextureRegistrar* Enter(Engine& engine, const char* call,
                                      FlutterDesktopTextureRegistrarRef t,
                                      const std::string& more = "") {
  engine.Log(std::string(call) + "(" + T(t) + more + ")");
  return LiveTextures(engine, t, call);
}

// The application's reply to one message that the plugin sent with a reply.
// Runs the plugin's reply callback exactly once: when called, or with an
// empty reply when the last copy is dropped uncalled.
class PendingSend {
 public:
  PendingSend(FlutterDesktopBinaryReply reply, void* user_data)
      : reply_(reply), user_data_(user_data) {}
  ~PendingSend() {
    if (!done_) {
      reply_(nullptr, 0, user_data_);
    }
  }
  PendingSend(const PendingSend&) = delete;
  PendingSend& operator=(const PendingSend&) = delete;

  void Answer(const std::vector<uint8_t>& bytes) {
    if (done_.exchange(true)) {
      Engine& engine = State();
      const Lock lock(engine.mutex);
      Fail(engine, "the application answered one sent message twice");
      return;
    }
    reply_(bytes.empty() ? nullptr : bytes.data(), bytes.size(), user_data_);
  }

 private:
  FlutterDesktopBinaryReply reply_;
  void* user_data_;
  std::atomic<bool> done_{false};
};

bool SendToApplication(FlutterDesktopMessengerRef messenger, const char* call,
                       const char* channel, const uint8_t* message,
                       size_t message_size, FlutterDesktopBinaryReply reply,
                       void* user_data) {
  Engine& engine = State();
  ApplicationHandler application;
  {
    const Lock lock(engine.mutex);
    std::ostringstream line;
    line << call << "(" << M(messenger) << ", " << Quote(channel) << ", "
         << message_size << " bytes" << (reply != nullptr ? ", reply" : "")
         << ")";
    engine.Log(line.str());
    if (LiveMessenger(engine, messenger, call) == nullptr ||
        channel == nullptr || (message == nullptr && message_size > 0)) {
      return false;
    }
    if (messenger->sends_fail) {
      return false;
    }
    application = messenger->application;
  }
  std::shared_ptr<PendingSend> pending;
  if (reply != nullptr) {
    pending = std::make_shared<PendingSend>(reply, user_data);
  }
  if (application) {
    const std::vector<uint8_t> bytes(message, message + message_size);
    application(channel, bytes, [pending](const std::vector<uint8_t>& answer) {
      if (pending) {
        pending->Answer(answer);
      }
    });
  }
  return true;
}

}  // namespace

FlutterDesktopPluginRegistrarRef CreateRegistrar(bool with_view) {
  Engine& engine = State();
  const Lock lock(engine.mutex);
  auto registrar = std::make_unique<FlutterDesktopPluginRegistrar>();
  registrar->id = engine.next_id;
  auto messenger = std::make_unique<FlutterDesktopMessenger>();
  messenger->id = engine.next_id;
  auto textures = std::make_unique<FlutterDesktopTextureRegistrar>();
  textures->id = engine.next_id;
  registrar->messenger = messenger.get();
  registrar->textures = textures.get();
  if (with_view) {
    auto view = std::make_unique<FlutterDesktopView>();
    view->id = engine.next_id;
    registrar->view = view.get();
    engine.views.push_back(std::move(view));
  }
  ++engine.next_id;
  engine.messengers.push_back(std::move(messenger));
  engine.texture_registrars.push_back(std::move(textures));
  engine.registrars.push_back(std::move(registrar));
  return engine.registrars.back().get();
}

void DestroyRegistrar(FlutterDesktopPluginRegistrarRef registrar) {
  Engine& engine = State();
  FlutterDesktopOnPluginRegistrarDestroyed handler = nullptr;
  {
    const Lock lock(engine.mutex);
    if (LiveRegistrar(engine, registrar, "DestroyRegistrar") == nullptr) {
      return;
    }
    handler = registrar->destruction_handler;
    engine.Log("destroy " + R(registrar));
  }
  if (handler != nullptr) {
    handler(registrar);
  }
  const Lock lock(engine.mutex);
  registrar->retired = true;
  registrar->messenger->retired = true;
  registrar->messenger->available = false;
  registrar->textures->retired = true;
}

FlutterDesktopMessengerRef MessengerOf(
    FlutterDesktopPluginRegistrarRef registrar) {
  return registrar->messenger;
}
FlutterDesktopTextureRegistrarRef TexturesOf(
    FlutterDesktopPluginRegistrarRef registrar) {
  return registrar->textures;
}
FlutterDesktopViewRef ViewOf(FlutterDesktopPluginRegistrarRef registrar) {
  return registrar->view;
}

std::optional<ChannelCallback> CallbackFor(FlutterDesktopMessengerRef messenger,
                                           const std::string& channel) {
  Engine& engine = State();
  const Lock lock(engine.mutex);
  const auto found = messenger->callbacks.find(channel);
  if (found == messenger->callbacks.end()) {
    return std::nullopt;
  }
  return found->second;
}

uint64_t Deliver(FlutterDesktopMessengerRef messenger,
                 const std::string& channel,
                 const std::vector<uint8_t>& message) {
  Engine& engine = State();
  ChannelCallback callback;
  FlutterDesktopMessage record{};
  uint64_t id = 0;
  {
    const Lock lock(engine.mutex);
    id = engine.next_message++;
    Response& response = engine.responses[id];
    response.handle = std::make_unique<FlutterDesktopMessageResponseHandle>();
    response.handle->id = id;
    response.messenger = messenger;
    engine.response_ids[response.handle.get()] = id;
    const auto found = messenger->callbacks.find(channel);
    std::ostringstream line;
    line << "message#" << id << " on " << Quote(channel.c_str()) << " ("
         << message.size() << " bytes)";
    if (found == messenger->callbacks.end() || messenger->retired) {
      line << ": no handler, the engine answers empty";
      response.answered = true;
      engine.Log(line.str());
      return id;
    }
    callback = found->second;
    engine.Log(line.str() + " -> callback");
    record.struct_size = sizeof record;
    record.channel = channel.c_str();
    record.message = message.empty() ? nullptr : message.data();
    record.message_size = message.size();
    record.response_handle = response.handle.get();
  }
  callback.callback(messenger, &record, callback.user_data);
  return id;
}

std::optional<std::vector<uint8_t>> ResponseTo(uint64_t message_id) {
  Engine& engine = State();
  const Lock lock(engine.mutex);
  const auto found = engine.responses.find(message_id);
  if (found == engine.responses.end() || !found->second.answered) {
    return std::nullopt;
  }
  return found->second.bytes;
}

std::optional<std::vector<uint8_t>> Exchange(
    FlutterDesktopMessengerRef messenger, const std::string& channel,
    const std::vector<uint8_t>& message) {
  const uint64_t id = Deliver(messenger, channel, message);
  Engine& engine = State();
  const Lock lock(engine.mutex);
  const auto found = engine.responses.find(id);
  if (found == engine.responses.end() || !found->second.answered) {
    return std::nullopt;
  }
  std::vector<uint8_t> bytes = std::move(found->second.bytes);
  engine.response_ids.erase(found->second.handle.get());
  engine.responses.erase(found);
  return bytes;
}

void SetAvailable(FlutterDesktopMessengerRef messenger, bool available) {
  Engine& engine = State();
  const Lock lock(engine.mutex);
  messenger->available = available;
}

int OutstandingReferences(FlutterDesktopMessengerRef messenger) {
  Engine& engine = State();
  const Lock lock(engine.mutex);
  return messenger->references;
}

void SetApplicationHandler(FlutterDesktopMessengerRef messenger,
                           ApplicationHandler handler) {
  Engine& engine = State();
  const Lock lock(engine.mutex);
  messenger->application = std::move(handler);
}

void SetSendsFail(FlutterDesktopMessengerRef messenger, bool fail) {
  Engine& engine = State();
  const Lock lock(engine.mutex);
  messenger->sends_fail = fail;
}

std::vector<RegisteredTexture> Textures(
    FlutterDesktopTextureRegistrarRef textures) {
  Engine& engine = State();
  const Lock lock(engine.mutex);
  std::vector<RegisteredTexture> result;
  for (const auto& [id, description] : textures->textures) {
    result.push_back({id, description});
  }
  return result;
}

int CompleteUnregistrations(FlutterDesktopTextureRegistrarRef textures) {
  Engine& engine = State();
  std::vector<std::pair<FlutterDesktopOnTextureUnregistered, void*>> pending;
  {
    const Lock lock(engine.mutex);
    pending.swap(textures->pending);
  }
  for (const auto& [callback, user_data] : pending) {
    callback(user_data);
  }
  return static_cast<int>(pending.size());
}

std::vector<std::string> CallLog() {
  Engine& engine = State();
  const Lock lock(engine.mutex);
  return engine.log;
}

void ClearCallLog() {
  Engine& engine = State();
  const Lock lock(engine.mutex);
  engine.log.clear();
}

void SetCallLogging(bool enabled) {
  Engine& engine = State();
  const Lock lock(engine.mutex);
  engine.logging = enabled;
}

std::vector<std::string> Failures() {
  Engine& engine = State();
  const Lock lock(engine.mutex);
  return engine.failures;
}

void ClearFailures() {
  Engine& engine = State();
  const Lock lock(engine.mutex);
  engine.failures.clear();
}

}  // namespace quorvane_engine

// The engine's C interface. Arguments are validated before use; misuse is
// recorded and answered with the function's neutral result.

using quorvane_engine::Lock;
using quorvane_engine::State;

extern "C" {

FlutterDesktopMessengerRef FlutterDesktopPluginRegistrarGetMessenger(
    FlutterDesktopPluginRegistrarRef registrar) {
  auto& engine = State();
  const Lock lock(engine.mutex);
  auto* live = quorvane_engine::Enter(engine, __func__, registrar);
  return live == nullptr ? nullptr : live->messenger;
}

FlutterDesktopTextureRegistrarRef FlutterDesktopRegistrarGetTextureRegistrar(
    FlutterDesktopPluginRegistrarRef registrar) {
  auto& engine = State();
  const Lock lock(engine.mutex);
  auto* live = quorvane_engine::Enter(engine, __func__, registrar);
  return live == nullptr ? nullptr : live->textures;
}

FlutterDesktopViewRef FlutterDesktopPluginRegistrarGetView(
    FlutterDesktopPluginRegistrarRef registrar) {
  auto& engine = State();
  const Lock lock(engine.mutex);
  auto* live = quorvane_engine::Enter(engine, __func__, registrar);
  return live == nullptr ? nullptr : live->view;
}

void FlutterDesktopPluginRegistrarSetDestructionHandler(
    FlutterDesktopPluginRegistrarRef registrar,
    FlutterDesktopOnPluginRegistrarDestroyed callback) {
  auto& engine = State();
  const Lock lock(engine.mutex);
  auto* live = quorvane_engine::Enter(
      engine, __func__, registrar,
      ", " + quorvane_engine::Pointer(reinterpret_cast<void*>(callback)));
  if (live != nullptr) {
    live->destruction_handler = callback;
  }
}

void FlutterDesktopMessengerSetCallback(FlutterDesktopMessengerRef messenger,
                                        const char* channel,
                                        FlutterDesktopMessageCallback callback,
                                        void* user_data) {
  auto& engine = State();
  const Lock lock(engine.mutex);
  auto* live = quorvane_engine::Enter(
      engine, __func__, messenger,
      ", " + quorvane_engine::Quote(channel) + ", " +
          quorvane_engine::Pointer(reinterpret_cast<void*>(callback)) + ", " +
          quorvane_engine::Pointer(user_data));
  if (live == nullptr || channel == nullptr) {
    return;
  }
  if (callback == nullptr) {
    if (user_data != nullptr) {
      quorvane_engine::Fail(engine, "a null callback with a non-null context");
    }
    live->callbacks.erase(channel);
  } else {
    live->callbacks[channel] = {callback, user_data};
  }
}

bool FlutterDesktopMessengerSend(FlutterDesktopMessengerRef messenger,
                                 const char* channel, const uint8_t* message,
                                 size_t message_size) {
  return quorvane_engine::SendToApplication(
      messenger, "FlutterDesktopMessengerSend", channel, message, message_size,
      nullptr, nullptr);
}

bool FlutterDesktopMessengerSendWithReply(FlutterDesktopMessengerRef messenger,
                                          const char* channel,
                                          const uint8_t* message,
                                          size_t message_size,
                                          FlutterDesktopBinaryReply reply,
                                          void* user_data) {
  return quorvane_engine::SendToApplication(
      messenger, "FlutterDesktopMessengerSendWithReply", channel, message,
      message_size, reply, user_data);
}

FlutterDesktopMessengerRef FlutterDesktopMessengerAddRef(
    FlutterDesktopMessengerRef messenger) {
  auto& engine = State();
  const Lock lock(engine.mutex);
  auto* live = quorvane_engine::Enter(engine, __func__, messenger);
  if (live != nullptr) {
    ++live->references;
  }
  return live;
}

void FlutterDesktopMessengerRelease(FlutterDesktopMessengerRef messenger) {
  auto& engine = State();
  const Lock lock(engine.mutex);
  auto* live = quorvane_engine::Enter(engine, __func__, messenger);
  if (live == nullptr) {
    return;
  }
  if (live->references == 0) {
    quorvane_engine::Fail(engine,
                          "FlutterDesktopMessengerRelease below zero on " +
                              quorvane_engine::M(messenger));
    return;
  }
  --live->references;
}

FlutterDesktopMessengerRef FlutterDesktopMessengerLock(
    FlutterDesktopMessengerRef messenger) {
  {
    auto& engine = State();
    const Lock lock(engine.mutex);
    if (quorvane_engine::Enter(engine, __func__, messenger) == nullptr) {
      return nullptr;
    }
  }
  messenger->engine_lock.lock();  // outside the state mutex: it may block
  const Lock lock(State().mutex);
  messenger->lock_owner = std::this_thread::get_id();
  return messenger;
}

bool FlutterDesktopMessengerIsAvailable(FlutterDesktopMessengerRef messenger) {
  auto& engine = State();
  const Lock lock(engine.mutex);
  auto* live = quorvane_engine::Enter(engine, __func__, messenger);
  return live != nullptr && live->available;
}

void FlutterDesktopMessengerSendResponse(
    FlutterDesktopMessengerRef messenger,
    const FlutterDesktopMessageResponseHandle* handle, const uint8_t* data,
    size_t data_length) {
  auto& engine = State();
  const Lock lock(engine.mutex);
  const auto id = engine.response_ids.find(handle);
  auto* live = quorvane_engine::Enter(
      engine, __func__, messenger,
      ", " +
          (id == engine.response_ids.end()
               ? std::string("unknown response")
               : "response#" + std::to_string(id->second)) +
          ", " + std::to_string(data_length) + " bytes");
  if (live == nullptr) {
    return;
  }
  if (id == engine.response_ids.end()) {
    quorvane_engine::Fail(engine,
                          "a response to a handle the engine never gave out");
    return;
  }
  auto& response = engine.responses[id->second];
  if (response.messenger != messenger) {
    quorvane_engine::Fail(engine, "a response through another messenger");
    return;
  }
  if (response.answered) {
    quorvane_engine::Fail(
        engine, "a second response to message#" + std::to_string(id->second));
    return;
  }
  if (data == nullptr && data_length > 0) {
    quorvane_engine::Fail(engine, "a response of null data with a length");
    return;
  }
  response.answered = true;
  response.bytes.assign(data, data + data_length);
}

void FlutterDesktopMessengerUnlock(FlutterDesktopMessengerRef messenger) {
  {
    auto& engine = State();
    const Lock lock(engine.mutex);
    if (quorvane_engine::Enter(engine, __func__, messenger) == nullptr) {
      return;
    }
    if (messenger->lock_owner != std::this_thread::get_id()) {
      quorvane_engine::Fail(engine, "an unlock by a thread that holds no lock");
      return;
    }
    messenger->lock_owner = std::thread::id();
  }
  messenger->engine_lock.unlock();
}

int64_t FlutterDesktopTextureRegistrarRegisterExternalTexture(
    FlutterDesktopTextureRegistrarRef texture_registrar,
    const FlutterDesktopTextureInfo* info) {
  auto& engine = State();
  const Lock lock(engine.mutex);
  auto* live = quorvane_engine::Enter(engine, __func__, texture_registrar,
                                      ", " + quorvane_engine::Pointer(info));
  if (live == nullptr || info == nullptr) {
    return -1;
  }
  // The engine reads pointers out of the record: it must be aligned as one.
  if (reinterpret_cast<uintptr_t>(info) % alignof(void*) != 0) {
    Fail(engine, "texture description record is not aligned for pointers");
  }
  const int64_t id = live->next_texture++;
  std::memcpy(live->textures[id].data(), info, 40);
  return id;
}

void FlutterDesktopTextureRegistrarUnregisterExternalTexture(
    FlutterDesktopTextureRegistrarRef texture_registrar, int64_t texture_id,
    FlutterDesktopOnTextureUnregistered callback, void* user_data) {
  auto& engine = State();
  const Lock lock(engine.mutex);
  auto* live = quorvane_engine::Enter(
      engine, __func__, texture_registrar,
      ", " + std::to_string(texture_id) + ", " +
          quorvane_engine::Pointer(reinterpret_cast<void*>(callback)) + ", " +
          quorvane_engine::Pointer(user_data));
  if (live == nullptr) {
    return;
  }
  live->textures.erase(texture_id);
  if (callback != nullptr) {
    live->pending.emplace_back(callback, user_data);
  }
}

bool FlutterDesktopTextureRegistrarMarkExternalTextureFrameAvailable(
    FlutterDesktopTextureRegistrarRef texture_registrar, int64_t texture_id) {
  auto& engine = State();
  const Lock lock(engine.mutex);
  auto* live = quorvane_engine::Enter(engine, __func__, texture_registrar,
                                      ", " + std::to_string(texture_id));
  return live != nullptr && live->textures.count(texture_id) == 1;
}

}  // extern "C"
