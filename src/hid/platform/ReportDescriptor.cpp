#include "hid/platform/ReportDescriptor.h"

#include <algorithm>
#include <array>
#include <map>
#include <utility>

namespace kvm::hid::platform {

namespace {

enum ItemType { MainItem = 0, GlobalItem = 1, LocalItem = 2 };

enum MainTag { InputTag = 0x8, OutputTag = 0x9, CollectionTag = 0xA, FeatureTag = 0xB, EndCollectionTag = 0xC };

enum GlobalTag { UsagePageTag = 0x0, ReportSizeTag = 0x7, ReportIdTag = 0x8, ReportCountTag = 0x9, PushTag = 0xA, PopTag = 0xB };

enum LocalTag { UsageTag = 0x0 };

constexpr std::uint8_t LongItemPrefix = 0xFE;
constexpr std::size_t MaxPushDepth = 32;
constexpr std::uint64_t MaxReportBits = 0xFFFEull * 8;  // the byte length plus the ID must fit 16 bits

struct GlobalState {
  std::uint32_t usagePage = 0;
  std::uint32_t reportSize = 0;
  std::uint32_t reportCount = 0;
  std::uint32_t reportId = 0;
};

// Bits per report ID, for one report kind.
using ReportBits = std::map<std::uint32_t, std::uint64_t>;

class Parser {
 public:
  Parser(const std::uint8_t* data, std::size_t length) : data_(data), length_(length) {}

  bool UsesReportIds() const { return usesReportIds_; }

  bool Run(THidCaps& caps) {
    if (data_ == nullptr || length_ == 0) return false;
    std::size_t pos = 0;
    while (pos < length_) {
      const std::uint8_t prefix = data_[pos];
      if (prefix == LongItemPrefix) {
        // Long items carry no report layout; only their size matters.
        if (length_ - pos < 3) return false;
        const std::size_t size = data_[pos + 1];
        if (length_ - pos - 3 < size) return false;
        pos += 3 + size;
        continue;
      }
      const std::size_t size = (prefix & 3) == 3 ? 4 : (prefix & 3);
      if (length_ - pos - 1 < size) return false;
      std::uint32_t value = 0;
      for (std::size_t i = 0; i < size; ++i) value |= std::uint32_t{data_[pos + 1 + i]} << (8 * i);
      const int type = (prefix >> 2) & 3;
      const int tag = prefix >> 4;
      pos += 1 + size;
      bool ok = true;
      if (type == MainItem) ok = Main(tag);
      else if (type == GlobalItem) ok = Global(tag, value);
      else if (type == LocalItem) Local(tag, value, size);
      if (!ok) return false;
    }
    if (depth_ != 0 || !sawCollection_) return false;

    THidCaps result;
    result.UsagePage = static_cast<std::uint16_t>(usagePage_);
    result.Usage = static_cast<std::uint16_t>(usage_);
    result.NumberLinkCollectionNodes = static_cast<std::uint16_t>(linkNodes_);
    result.InputReportByteLength = ByteLength(bits_[0]);
    result.OutputReportByteLength = ByteLength(bits_[1]);
    result.FeatureReportByteLength = ByteLength(bits_[2]);
    caps = result;
    return true;
  }

 private:
  bool Main(int tag) {
    switch (tag) {
      case InputTag: return AddField(0);
      case OutputTag: return AddField(1);
      case FeatureTag: return AddField(2);
      case CollectionTag:
        if (depth_ == 0 && !sawCollection_) {
          sawCollection_ = true;
          inFirstTopLevel_ = true;
          usagePage_ = firstUsagePage_;
          usage_ = firstUsage_;
        }
        if (inFirstTopLevel_ && linkNodes_ < 0xFFFF) ++linkNodes_;
        ++depth_;
        break;
      case EndCollectionTag:
        if (depth_ == 0) return false;
        if (--depth_ == 0) inFirstTopLevel_ = false;
        break;
      default:
        break;
    }
    ClearLocals();
    return true;
  }

  bool AddField(int kind) {
    const std::uint64_t fieldBits = std::uint64_t{global_.reportSize} * global_.reportCount;
    std::uint64_t& total = bits_[kind][global_.reportId];
    total += fieldBits;
    ClearLocals();
    return total <= MaxReportBits;
  }

  bool Global(int tag, std::uint32_t value) {
    switch (tag) {
      case UsagePageTag: global_.usagePage = value; break;
      case ReportSizeTag: global_.reportSize = value; break;
      case ReportCountTag: global_.reportCount = value; break;
      case ReportIdTag:
        // Report ID 0 is reserved for "no report IDs"; IDs are one byte.
        if (value == 0 || value > 0xFF) return false;
        global_.reportId = value;
        usesReportIds_ = true;
        break;
      case PushTag:
        if (stack_.size() >= MaxPushDepth) return false;
        stack_.push_back(global_);
        break;
      case PopTag:
        if (stack_.empty()) return false;
        global_ = stack_.back();
        stack_.pop_back();
        break;
      default:
        break;
    }
    return true;
  }

  void Local(int tag, std::uint32_t value, std::size_t size) {
    if (tag != UsageTag || haveUsage_) return;
    // The collection's usage is the first one given before it; a 4-byte
    // usage carries its own page in the upper half.
    haveUsage_ = true;
    firstUsagePage_ = size == 4 ? value >> 16 : global_.usagePage;
    firstUsage_ = size == 4 ? value & 0xFFFF : value;
  }

  void ClearLocals() {
    haveUsage_ = false;
    firstUsagePage_ = 0;
    firstUsage_ = 0;
  }

  static std::uint16_t ByteLength(const ReportBits& reports) {
    std::uint64_t longest = 0;
    bool any = false;
    for (const auto& [id, bits] : reports) {
      any = true;
      longest = std::max(longest, (bits + 7) / 8);
    }
    // The report-ID byte is counted also when the device uses no IDs.
    return any ? static_cast<std::uint16_t>(longest + 1) : 0;
  }

  const std::uint8_t* data_;
  std::size_t length_;
  GlobalState global_;
  std::vector<GlobalState> stack_;
  std::array<ReportBits, 3> bits_;
  bool haveUsage_ = false;
  std::uint32_t firstUsagePage_ = 0;
  std::uint32_t firstUsage_ = 0;
  int depth_ = 0;
  bool sawCollection_ = false;
  bool inFirstTopLevel_ = false;
  std::uint32_t usagePage_ = 0;
  std::uint32_t usage_ = 0;
  std::uint32_t linkNodes_ = 0;
  bool usesReportIds_ = false;
};

}  // namespace

bool ComputeCaps(const std::uint8_t* descriptor, std::size_t length, THidCaps& caps) {
  caps = THidCaps{};
  return Parser(descriptor, length).Run(caps);
}

TDescriptorData::TDescriptorData(std::vector<std::uint8_t> descriptor) : descriptor_(std::move(descriptor)) {
  Parser parser(descriptor_.data(), descriptor_.size());
  valid_ = parser.Run(caps_);
  usesReportIds_ = valid_ && parser.UsesReportIds();
}

}  // namespace kvm::hid::platform
