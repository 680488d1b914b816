// Encode and decode of the standard codec, side by side in one run with two
// baselines on the same logical data: memcpy of the encoded bytes (the
// floor) and nlohmann::json's MessagePack (an owning document model with a
// binary format, like ours). Prints the ratios after the usual table.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "codec/byte_buffer_streams.h"
#include "codec/standard_codec_serializer.h"
#include "codec/standard_method_codec.h"
#include "ratio_reporter.h"

// Every allocation of the program goes through here, so that one encode's
// allocated bytes can be set against the size of what it produced.
namespace {
std::atomic<bool> counting{false};
std::atomic<size_t> allocated{0};
}  // namespace

void* operator new(size_t size) {
  if (counting.load(std::memory_order_relaxed)) {
    allocated.fetch_add(size, std::memory_order_relaxed);
  }
  if (void* block = std::malloc(size == 0 ? 1 : size)) {
    return block;
  }
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, size_t /*size*/) noexcept {
  std::free(block);
}

namespace {

using flutter::EncodableValue;
using flutter::EncodableValueList;
using flutter::EncodableValueMap;
using nlohmann::json;

struct DataSet {
  const char* name;
  EncodableValue ours;
  json theirs;
};

// A tree of lists and maps, `breadth` wide at each of `levels` levels,
// with short strings, integers and doubles at the leaves.
void BuildTree(int levels, int breadth, EncodableValue* ours, json* theirs,
               int* counter) {
  if (levels == 0) {
    const int n = (*counter)++;
    switch (n % 3) {
      case 0:
        *ours = "leaf-" + std::to_string(n);
        *theirs = "leaf-" + std::to_string(n);
        break;
      case 1:
        *ours = int32_t{n};
        *theirs = n;
        break;
      default:
        *ours = n * 0.5;
        *theirs = n * 0.5;
        break;
    }
    return;
  }
  if (levels % 2 == 0) {
    EncodableValueList list(breadth);
    json array = json::array();
    for (int i = 0; i < breadth; ++i) {
      json child;
      BuildTree(levels - 1, breadth, &list[i], &child, counter);
      array.push_back(std::move(child));
    }
    *ours = std::move(list);
    *theirs = std::move(array);
  } else {
    EncodableValueMap map;
    json object = json::object();
    for (int i = 0; i < breadth; ++i) {
      const std::string key = "key" + std::to_string(i);
      EncodableValue child;
      json their_child;
      BuildTree(levels - 1, breadth, &child, &their_child, counter);
      map.emplace(key, std::move(child));
      object[key] = std::move(their_child);
    }
    *ours = std::move(map);
    *theirs = std::move(object);
  }
}

std::vector<DataSet> MakeDataSets() {
  std::vector<DataSet> sets;
  std::mt19937 random(42);

  std::vector<uint8_t> bytes(1 << 20);
  for (auto& byte : bytes) {
    byte = static_cast<uint8_t>(random());
  }
  sets.push_back({"bytes_1MiB", bytes, json::binary(bytes)});

  EncodableValueMap reply;
  json reply_json = json::object();
  for (const char* key :
       {"chainCertBase64", "expirationTime", "privateKeyCertBase64",
        "rootCertBase64", "subject"}) {
    const std::string text(2048, static_cast<char>('A' + random() % 26));
    reply.emplace(key, text);
    reply_json[key] = text;
  }
  sets.push_back({"reply_5x2KiB", reply, reply_json});

  EncodableValueMap keyed;
  json keyed_json = json::object();
  for (int32_t i = 0; i < 10000; ++i) {
    const std::string key = "key-" + std::to_string(i * 7919 % 100003);
    keyed.emplace(key, i);
    keyed_json[key] = i;
  }
  sets.push_back({"map_10k_int32", keyed, keyed_json});

  EncodableValueList doubles;
  json doubles_json = json::array();
  for (int i = 0; i < 100000; ++i) {
    const double d = static_cast<double>(random()) / 3.0;
    doubles.emplace_back(d);
    doubles_json.push_back(d);
  }
  sets.push_back({"list_100k_double", doubles, doubles_json});

  EncodableValue tree;
  json tree_json;
  int counter = 0;
  BuildTree(6, 9, &tree, &tree_json, &counter);  // 9^6 leaves, about 1 MiB
  sets.push_back({"tree_1MiB", tree, tree_json});
  return sets;
}

const std::vector<DataSet>& DataSets() {
  static const auto* sets = new std::vector<DataSet>(MakeDataSets());
  return *sets;
}

std::vector<uint8_t> Encode(const EncodableValue& value) {
  std::vector<uint8_t> bytes;
  flutter::ByteBufferStreamWriter writer(&bytes);
  flutter::StandardCodecSerializer::GetInstance().WriteValue(value, &writer);
  return bytes;
}

void BM_Memcpy(benchmark::State& state, const DataSet* set) {
  const std::vector<uint8_t> source = Encode(set->ours);
  std::vector<uint8_t> target(source.size());
  for (auto _ : state) {
    std::memcpy(target.data(), source.data(), source.size());
    benchmark::DoNotOptimize(target.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<int64_t>(source.size()));
}

void BM_EncodeOurs(benchmark::State& state, const DataSet* set) {
  size_t size = 0;
  for (auto _ : state) {
    std::vector<uint8_t> bytes = Encode(set->ours);
    size = bytes.size();
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(size));
}

void BM_DecodeOurs(benchmark::State& state, const DataSet* set) {
  const std::vector<uint8_t> bytes = Encode(set->ours);
  for (auto _ : state) {
    flutter::ByteBufferStreamReader reader(bytes.data(), bytes.size());
    EncodableValue value =
        flutter::StandardCodecSerializer::GetInstance().ReadValue(&reader);
    benchmark::DoNotOptimize(value);
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<int64_t>(bytes.size()));
}

void BM_EncodeNlohmann(benchmark::State& state, const DataSet* set) {
  size_t size = 0;
  for (auto _ : state) {
    std::vector<uint8_t> bytes = json::to_msgpack(set->theirs);
    size = bytes.size();
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(size));
}

void BM_DecodeNlohmann(benchmark::State& state, const DataSet* set) {
  const std::vector<uint8_t> bytes = json::to_msgpack(set->theirs);
  for (auto _ : state) {
    json value = json::from_msgpack(bytes);
    benchmark::DoNotOptimize(value);
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<int64_t>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {  // NOLINT(bugprone-exception-escape)
  for (const DataSet& set : DataSets()) {
    const std::string name = set.name;
    benchmark::RegisterBenchmark(("memcpy/" + name).c_str(), BM_Memcpy, &set);
    benchmark::RegisterBenchmark(("encode/ours/" + name).c_str(), BM_EncodeOurs,
                                 &set);
    benchmark::RegisterBenchmark(("encode/nlohmann/" + name).c_str(),
                                 BM_EncodeNlohmann, &set);
    benchmark::RegisterBenchmark(("decode/ours/" + name).c_str(), BM_DecodeOurs,
                                 &set);
    benchmark::RegisterBenchmark(("decode/nlohmann/" + name).c_str(),
                                 BM_DecodeNlohmann, &set);
  }
  benchmark::Initialize(&argc, argv);
  quorvane_bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\n%-18s %-7s %14s %16s\n", "data set", "op", "ours/memcpy bw",
              "ours/nlohmann t");
  bool all_met = true;
  for (const DataSet& set : DataSets()) {
    const std::string name = set.name;
    for (const char* op : {"encode", "decode"}) {
      const double ours = reporter.Time(std::string(op) + "/ours/" + name);
      const double theirs =
          reporter.Time(std::string(op) + "/nlohmann/" + name);
      const double floor = reporter.Time("memcpy/" + name);
      if (ours <= 0 || theirs <= 0 || floor <= 0) {
        continue;  // filtered out
      }
      const double bandwidth = floor / ours;  // 1.0 = as fast as memcpy
      const double versus = ours / theirs;    // below 1.0 = we are faster
      const bool met = name == "bytes_1MiB" ? bandwidth >= 0.8 : versus < 1.0;
      all_met = all_met && met;
      std::printf("%-18s %-7s %14.2f %16.3f  %s\n", name.c_str(), op, bandwidth,
                  versus, met ? "met" : "MISSED");
    }
  }
  std::printf(
      "targets: bytes at >= 0.80 of memcpy bandwidth; every other set "
      "faster than nlohmann (< 1.000): %s\n",
      all_met ? "all met" : "some missed");

  // One success envelope per data set, as a reply is encoded: the bytes
  // allocated during the encode against the bytes it produced. A copy of
  // the value, or a vector that grows by doubling, would show here.
  std::printf("\n%-18s %14s %14s %8s\n", "data set", "output bytes",
              "allocated", "ratio");
  const auto& codec = flutter::StandardMethodCodec::GetInstance();
  for (const DataSet& set : DataSets()) {
    allocated = 0;
    counting = true;
    const auto envelope = codec.EncodeSuccessEnvelope(&set.ours);
    counting = false;
    const double ratio = static_cast<double>(allocated.load()) /
                         static_cast<double>(envelope->size());
    const bool met = std::string(set.name) != "bytes_1MiB" || ratio <= 1.05;
    std::printf("%-18s %14zu %14zu %8.3f%s\n", set.name, envelope->size(),
                allocated.load(), ratio,
                std::string(set.name) == "bytes_1MiB"
                    ? (met ? "  met (<= 1.05)" : "  MISSED (<= 1.05)")
                    : "");
  }
  return 0;
}
