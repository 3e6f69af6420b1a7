#include "platform/service_control_settings.h"

namespace {

void PutWord(std::vector<std::uint8_t>& out, std::uint32_t word) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(word >> shift));
}

void PutText(std::vector<std::uint8_t>& out, const std::wstring& text) {
  PutWord(out, static_cast<std::uint32_t>(text.size()));
  for (const wchar_t unit : text) {
    const auto value = static_cast<std::uint32_t>(unit) & 0xFFFF;
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
  }
}

class Reader {
 public:
  explicit Reader(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
  bool Word(std::uint32_t& word) {
    if (bytes_.size() - at_ < 4) return false;
    word = 0;
    for (int i = 3; i >= 0; --i) word = (word << 8) | bytes_[at_ + static_cast<std::size_t>(i)];
    at_ += 4;
    return true;
  }
  bool Text(std::wstring& text) {
    std::uint32_t length = 0;
    if (!Word(length) || (bytes_.size() - at_) / 2 < length) return false;
    text.clear();
    for (std::uint32_t i = 0; i < length; ++i, at_ += 2) {
      text += static_cast<wchar_t>(bytes_[at_] | (bytes_[at_ + 1] << 8));
    }
    return true;
  }
  bool AtEnd() const { return at_ == bytes_.size(); }
  std::size_t Left() const { return bytes_.size() - at_; }

 private:
  const std::vector<std::uint8_t>& bytes_;
  std::size_t at_ = 0;
};

}  // namespace

ServiceSettings DisabledServiceSettings() {
  ServiceSettings settings;
  settings.startType = kServiceDisabled;
  return settings;
}

std::vector<std::uint8_t> EncodeServiceSettings(const ServiceSettings& settings) {
  std::vector<std::uint8_t> out;
  PutWord(out, settings.startType);
  PutWord(out, settings.resetPeriod);
  PutText(out, settings.rebootMessage);
  PutText(out, settings.command);
  PutWord(out, static_cast<std::uint32_t>(settings.actions.size()));
  for (const ServiceFailureAction& action : settings.actions) {
    PutWord(out, action.type);
    PutWord(out, action.delay);
  }
  return out;
}

std::optional<ServiceSettings> DecodeServiceSettings(const std::vector<std::uint8_t>& bytes) {
  Reader reader(bytes);
  ServiceSettings settings;
  std::uint32_t count = 0;
  if (!reader.Word(settings.startType) || !reader.Word(settings.resetPeriod) || !reader.Text(settings.rebootMessage) ||
      !reader.Text(settings.command) || !reader.Word(count) || reader.Left() / 8 < count) {
    return std::nullopt;
  }
  settings.actions.resize(count);
  for (ServiceFailureAction& action : settings.actions) {
    if (!reader.Word(action.type) || !reader.Word(action.delay)) return std::nullopt;
  }
  if (!reader.AtEnd()) return std::nullopt;
  return settings;
}

std::string DescribeServiceSettings(const ServiceSettings& settings) {
  return "start type " + std::to_string(settings.startType) + ", " + std::to_string(settings.actions.size()) +
         " failure action" + (settings.actions.size() == 1 ? "" : "s");
}
