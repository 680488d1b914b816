// One "getCertificate" request through the whole stack (engine stand-in,
// messenger, codec, handler, reply) against the floor: the same container
// opened and written as PEM with OpenSSL directly, in memory. And the cost
// of the channel machinery per message, with the codec's share of it.
#include <benchmark/benchmark.h>
#include <openssl/bio.h>
#include <openssl/buffer.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "codec/standard_method_codec.h"
#include "engine_control.h"
#include "messaging/binary_messenger_impl.h"
#include "messaging/method_channel.h"
#include "plugin_host.h"
#include "ratio_reporter.h"

namespace {

using flutter::EncodableValue;

std::vector<uint8_t> Container() {
  std::ifstream in(QUORVANE_SAMPLE, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

quorvane_host::PluginHost& Host() {
  static auto* host = [] {
    std::string error;
    auto register_plugin =
        quorvane_host::LoadPlugin(QUORVANE_DEFAULT_PLUGIN, &error);
    if (register_plugin == nullptr) {
      std::fprintf(stderr, "%s\n", error.c_str());
      std::abort();
    }
    return new quorvane_host::PluginHost(register_plugin);
  }();
  return *host;
}

void BM_WholeStack(benchmark::State& state) {
  const EncodableValue arguments(flutter::EncodableValueMap{
      {"certificate", Container()}, {"password", "secret"}});
  for (auto _ : state) {
    auto outcome = Host().Call("quorvane", "getCertificate", arguments);
    if (outcome.kind != quorvane_host::Outcome::Kind::kSuccess) {
      state.SkipWithError("the request failed");
      break;
    }
    benchmark::DoNotOptimize(outcome);
  }
}

std::string Drain(BIO* sink) {
  BUF_MEM* buffer = nullptr;
  BIO_get_mem_ptr(sink, &buffer);
  return std::string(buffer->data, buffer->length);
}

void BM_OpenSslFloor(benchmark::State& state) {
  const std::vector<uint8_t> bytes = Container();
  for (auto _ : state) {
    BIO* in = BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size()));
    PKCS12* p12 = d2i_PKCS12_bio(in, nullptr);
    BIO_free(in);
    EVP_PKEY* key = nullptr;
    X509* cert = nullptr;
    STACK_OF(X509)* ca = nullptr;
    PKCS12_parse(p12, "secret", &key, &cert, &ca);
    BIO* sink = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(sink, cert);
    std::string cert_pem = Drain(sink);
    for (int i = 0; i < sk_X509_num(ca); ++i) {
      PEM_write_bio_X509(sink, sk_X509_value(ca, i));
    }
    std::string chain_pem = Drain(sink);
    BIO_free(sink);
    sink = BIO_new(BIO_s_mem());
    PEM_write_bio_PrivateKey(sink, key, nullptr, nullptr, 0, nullptr, nullptr);
    std::string key_pem = Drain(sink);
    BIO_free(sink);
    benchmark::DoNotOptimize(cert_pem);
    benchmark::DoNotOptimize(chain_pem);
    benchmark::DoNotOptimize(key_pem);
    X509_free(cert);
    EVP_PKEY_free(key);
    sk_X509_pop_free(ca, X509_free);
    PKCS12_free(p12);
  }
}

// The channel machinery over its own stand-in registrar: a method "ping"
// answered with null.
struct Machinery {
  FlutterDesktopPluginRegistrarRef registrar =
      quorvane_engine::CreateRegistrar();
  FlutterDesktopMessengerRef messenger =
      quorvane_engine::MessengerOf(registrar);
  flutter::BinaryMessengerImpl binary_messenger{messenger};
  std::vector<uint8_t> call =
      *flutter::StandardMethodCodec::GetInstance().EncodeMethodCall(
          flutter::MethodCall<EncodableValue>("ping", nullptr));
  Machinery() {
    flutter::MethodChannel(&binary_messenger, "bench",
                           &flutter::StandardMethodCodec::GetInstance())
        .SetMethodCallHandler(
            [](const flutter::MethodCall<EncodableValue>&,
               std::unique_ptr<flutter::MethodResult<EncodableValue>> result) {
              result->Success(nullptr);
            });
    // The stand-in's own cost: a C callback that answers at once.
    FlutterDesktopMessengerSetCallback(
        messenger, "raw",
        [](FlutterDesktopMessengerRef m, const FlutterDesktopMessage* message,
           void*) {
          static const uint8_t kNull[] = {0, 0};
          FlutterDesktopMessengerSendResponse(m, message->response_handle,
                                              kNull, 2);
        },
        nullptr);
  }
};

Machinery& Bench() {
  static auto* machinery = new Machinery();
  return *machinery;
}

void BM_MessageThroughMachinery(benchmark::State& state) {
  Machinery& m = Bench();
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        quorvane_engine::Exchange(m.messenger, "bench", m.call));
  }
}

void BM_MessageStandInOnly(benchmark::State& state) {
  Machinery& m = Bench();
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        quorvane_engine::Exchange(m.messenger, "raw", m.call));
  }
}

void BM_MessageCodecOnly(benchmark::State& state) {
  Machinery& m = Bench();
  const auto& codec = flutter::StandardMethodCodec::GetInstance();
  for (auto _ : state) {
    auto call = codec.DecodeMethodCall(m.call.data(), m.call.size());
    auto reply = codec.EncodeSuccessEnvelope(nullptr);
    benchmark::DoNotOptimize(call);
    benchmark::DoNotOptimize(reply);
  }
}

}  // namespace

BENCHMARK(BM_WholeStack)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenSslFloor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MessageThroughMachinery);
BENCHMARK(BM_MessageStandInOnly);
BENCHMARK(BM_MessageCodecOnly);

int main(int argc, char** argv) {  // NOLINT(bugprone-exception-escape)
  quorvane_engine::SetCallLogging(false);
  // One request first, so that both sides run with the providers loaded.
  Host().Call("quorvane", "getCertificate",
              EncodableValue(flutter::EncodableValueMap{
                  {"certificate", Container()}, {"password", "secret"}}));
  benchmark::Initialize(&argc, argv);
  quorvane_bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const double stack = reporter.Time("BM_WholeStack");
  const double floor = reporter.Time("BM_OpenSslFloor");
  if (stack > 0 && floor > 0) {
    const double overhead = stack / floor - 1.0;
    std::printf(
        "\nwhole stack / OpenSSL floor: %.4f (%+.2f %%; target at most +5 %%: "
        "%s)\n",
        stack / floor, 100 * overhead, overhead <= 0.05 ? "met" : "MISSED");
  }
  const double through = reporter.Time("BM_MessageThroughMachinery");
  const double stand_in = reporter.Time("BM_MessageStandInOnly");
  const double codec = reporter.Time("BM_MessageCodecOnly");
  if (through > 0 && stand_in > 0 && codec > 0) {
    const double machinery = through - stand_in;
    std::printf(
        "channel machinery per message: %.0f ns (%.0f ns through the "
        "stand-in, less its own %.0f ns); codec share %.0f ns = %.0f %%\n",
        machinery, through, stand_in, codec, 100 * codec / machinery);
  }
  return 0;
}
